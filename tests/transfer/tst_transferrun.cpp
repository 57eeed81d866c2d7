// Whole transfer runs through the real window against the real test server.
#include "runfixture.h"

#include "../dialogs/dialogtestutil.h"

#include "app/systemtray.h"
#include "ftp/runlog.h"

#include <QDateEdit>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

namespace {

const QString sessionOuverte =
    QStringLiteral("Connection à 127.0.0.1...Connecté !\nUtilisateur nuvola connecté\n");

// Every file below `racine`, as relative paths, sorted.
QStringList arbre(const QString &racine)
{
    QStringList fichiers;
    QDirIterator it(racine, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        fichiers << QDir(racine).relativeFilePath(it.next());
    fichiers.sort();
    return fichiers;
}

QByteArray binaire(int taille, int graine)
{
    QByteArray b;
    b.reserve(taille);
    quint32 x = 2463534242u + static_cast<quint32>(graine);
    for (int i = 0; i < taille; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b.append(static_cast<char>(x & 0xff));
    }
    return b;
}

// The transfer type in force at each STOR of the server's record.
QMap<QString, QString> typesEnvoyes(const QStringList &commandes)
{
    QMap<QString, QString> types;
    QString type = QStringLiteral("A"); // FTP's default until a TYPE arrives
    for (const QString &c : commandes) {
        if (c.startsWith(QLatin1String("TYPE ")))
            type = c.mid(5);
        else if (c.startsWith(QLatin1String("STOR ")))
            types.insert(c.mid(5), type);
    }
    return types;
}

// Same picture, to the rounding of premultiplied alpha: the icon's pixmap is
// stored premultiplied, and the rounding of nearly transparent pixels depends
// on the processor's vector instructions.
bool memeImage(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb u = a.pixel(x, y);
            const QRgb v = b.pixel(x, y);
            if (qAbs(qRed(u) - qRed(v)) > 2 || qAbs(qGreen(u) - qGreen(v)) > 2 ||
                qAbs(qBlue(u) - qBlue(v)) > 2 || qAbs(qAlpha(u) - qAlpha(v)) > 2)
                return false;
        }
    }
    return true;
}

int trayFrame(const QSystemTrayIcon *tray)
{
    const QImage actuelle = tray->icon().pixmap(128, 128).toImage().convertToFormat(
        QImage::Format_ARGB32_Premultiplied);
    for (int k = 0; k <= 12; ++k) {
        const QImage image = QImage(QStringLiteral(":/Nuvola/Nuvola%1.png").arg(k))
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (memeImage(image, actuelle))
            return k;
    }
    return -1;
}

} // namespace

class TestTransferRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(nuvola); }

    void wholeTreeArrivesExactlyAndNextRunSendsNothing()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        const qint64 t = RunFixture::ilYa(100);
        const QByteArray texte("<html>\nMétéo du jour\n</html>\n");
        QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), texte, t));
        QVERIFY(writeFile(f.local(QStringLiteral("pluie.png")), binaire(70000, 1), t - 1));
        QVERIFY(writeFile(f.local(QStringLiteral("README")), "lisez-moi\n", t - 2));
        QVERIFY(writeFile(f.local(QStringLiteral("été/août.htm")), "août\n", t));
        QVERIFY(writeFile(f.local(QStringLiteral("images/2013/nuage.JPG")), binaire(3000, 2), t));
        QVERIFY(writeFile(f.local(QStringLiteral("images/2013/vent.gif")), binaire(10, 3), t - 5));
        QVERIFY(writeFile(f.local(QStringLiteral("2012/bilan.htm")), "2012\n", t));
        QVERIFY(writeFile(f.local(QStringLiteral("2011/bilan.htm")), "vieux\n", t));
        QVERIFY(writeFile(f.local(QStringLiteral("xxxx/brouillon.htm")), "non\n", t));
        QVERIFY(writeFile(f.local(QStringLiteral("mini_graphe.png")), "non", t));
        QVERIFY(writeFile(f.local(QStringLiteral("ancien.htm")), "vieux\n", 1338000000));
        {
            QFile exclus(QFileInfo(settingsFilePath()).absolutePath() +
                         QStringLiteral("/ExcludedFiles.dat"));
            QVERIFY(QDir().mkpath(QFileInfo(exclus).absolutePath()));
            QVERIFY(exclus.open(QIODevice::WriteOnly));
            exclus.write("mini_\n");
        }
        // Comparison time in June 2012: year folders up to 2011 are skipped.
        f.ouvrir({{QStringLiteral("Date"), 1338500000}, {QStringLiteral("ExcAnPrec"), 1}});
        const qint64 avant = QDateTime::currentSecsSinceEpoch();
        f.fenetre->transfert();
        const qint64 apres = QDateTime::currentSecsSinceEpoch();

        const QString www = f.serveur.serverFilePath(QStringLiteral("www"));
        QCOMPARE(arbre(www),
                 (QStringList{QStringLiteral("2012/bilan.htm"), QStringLiteral("README"),
                              QStringLiteral("images/2013/nuage.JPG"),
                              QStringLiteral("images/2013/vent.gif"), QStringLiteral("index.htm"),
                              QStringLiteral("pluie.png"), QStringLiteral("été/août.htm")}));
        const QStringList envoyes = arbre(www);
        for (const QString &rel : envoyes) {
            QFile local(f.local(rel));
            QVERIFY(local.open(QIODevice::ReadOnly));
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/") + rel), local.readAll());
        }
        const QMap<QString, QString> types = typesEnvoyes(f.serveur.commands());
        QCOMPARE(types.value(QStringLiteral("pluie.png")), QStringLiteral("I"));
        QCOMPARE(types.value(QStringLiteral("nuage.JPG")), QStringLiteral("I"));
        QCOMPARE(types.value(QStringLiteral("vent.gif")), QStringLiteral("I"));
        QCOMPARE(types.value(QStringLiteral("index.htm")), QStringLiteral("A"));
        QCOMPARE(types.value(QStringLiteral("README")), QStringLiteral("A"));
        QCOMPARE(types.value(QStringLiteral("août.htm")), QStringLiteral("A"));

        const qint64 date = f.dateEnregistree().toLongLong();
        // Three seconds before the run's start (see the next test).
        QVERIFY2(date >= avant - 3 && date <= apres - 3, qPrintable(f.dateEnregistree()));
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QCOMPARE(f.bouton()->text(), QStringLiteral("Transférer"));

        f.serveur.clearCommands();
        f.fenetre->transfert();
        QVERIFY2(f.journal().endsWith(QStringLiteral("Aucun fichier à transférer\n")),
                 qPrintable(f.journal()));
        QVERIFY(f.serveur.commands().isEmpty());
        QCOMPARE(f.barre()->currentMessage(), QStringLiteral("0 fichiers à transférer"));
    }

    void typeChangesOncePerMixedFolder()
    {
        // Each folder holds both types, interleaved by name: sent in that
        // order they would need a TYPE before every file.
        RunFixture f;
        QVERIFY(f.startServer());
        const qint64 t = RunFixture::ilYa(100);
        const QStringList noms{QStringLiteral("a1.htm"), QStringLiteral("a2.png"),
                               QStringLiteral("a3.htm"), QStringLiteral("a4.png")};
        for (const QString &dossier : {QString(), QStringLiteral("d/"), QStringLiteral("e/")})
            for (const QString &nom : noms)
                QVERIFY(writeFile(f.local(dossier + dossier.left(1) + nom),
                                  nom.endsWith(QLatin1String("png")) ? binaire(500, 7)
                                                                     : QByteArray("l1\nl2\n"),
                                  t));
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 0);
        const QStringList c = f.serveur.commands();
        // One to begin, then one change in each folder.
        QCOMPARE(c.filter(QRegularExpression(QStringLiteral("^TYPE "))).size(), 1 + 3);
        const QMap<QString, QString> types = typesEnvoyes(c);
        QCOMPARE(types.size(), 12);
        for (auto it = types.cbegin(); it != types.cend(); ++it)
            QCOMPARE(it.value(),
                     QLatin1String(it.key().endsWith(QLatin1String("png")) ? "I" : "A"));
        for (const QString &rel : arbre(f.serveur.serverFilePath(QStringLiteral("www")))) {
            QFile local(f.local(rel));
            QVERIFY(local.open(QIODevice::ReadOnly));
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/") + rel), local.readAll());
        }
    }

    void fileRewrittenRightAfterTheScanIsSentNextTime_data()
    {
        QTest::addColumn<int>("decalage");
        QTest::newRow("in the same second") << 0;
        // What a file system that stores even seconds only, or a file clock
        // a tick late, may stamp on it.
        QTest::newRow("stamped a second earlier") << -1;
        QTest::newRow("stamped two seconds earlier") << -2;
    }
    void fileRewrittenRightAfterTheScanIsSentNextTime()
    {
        QFETCH(int, decalage);
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        f.ouvrir();
        // The station rewrites a page right after the scan, in the same second.
        qint64 seconde = 0;
        QObject::connect(
            f.barre(), &QStatusBar::messageChanged, f.fenetre.get(), [&](const QString &m) {
                if (m.endsWith(QStringLiteral("fichiers à transférer"))) {
                    seconde = QDateTime::currentSecsSinceEpoch();
                    writeFile(f.local(QStringLiteral("b.htm")), "b\n", seconde + decalage);
                }
            });
        f.fenetre->transfert();
        QVERIFY(seconde > 0);
        QVERIFY(!f.serveur.serverFileExists(QStringLiteral("www/b.htm")));
        QObject::disconnect(f.barre(), nullptr, f.fenetre.get(), nullptr);
        f.fenetre->transfert();
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/b.htm")), QByteArray("b\n"));
    }

    void dateChosenDuringARunIsKept()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        // The user sets the date back while the run goes on, to have
        // everything since then sent again.
        auto choisie = quandModal([](QWidget *w) { return w->findChild<QDateEdit *>() != nullptr; },
                                  [](QWidget *w) {
                                      w->findChild<QDateEdit *>()->setDate(QDate(2020, 5, 5));
                                      w->findChild<QTimeEdit *>()->setTime(QTime(1, 2));
                                      static_cast<QDialog *>(w)->accept();
                                  });
        QObject::connect(f.barre(), &QStatusBar::messageChanged, f.fenetre.get(),
                         [&](const QString &m) {
                             if (m.endsWith(QStringLiteral("fichiers à transférer")))
                                 f.fenetre->modifDate();
                         });
        f.fenetre->transfert();
        QVERIFY(*choisie);
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a.htm")), QByteArray("a\n"));
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QCOMPARE(f.dateEnregistree().toLongLong(),
                 QDateTime(QDate(2020, 5, 5), QTime(1, 2)).toSecsSinceEpoch());
        QVERIFY2(f.journal().contains(
                     QStringLiteral("Date de comparaison choisie pendant le transfert : gardée\n")),
                 qPrintable(f.journal()));
    }

    void clockSetBack_data()
    {
        QTest::addColumn<qint64>("avance"); // recorded date minus now, in seconds
        QTest::addColumn<bool>("recul");
        // A motherboard battery gone flat brings the clock years back.
        QTest::newRow("recorded twenty years ahead") << qint64(20) * 365 * 86400 << true;
        QTest::newRow("recorded a year ahead") << qint64(365) * 86400 << true;
        QTest::newRow("recorded a minute ahead") << qint64(60) << true;
        QTest::newRow("recorded this very second") << qint64(0) << false;
        QTest::newRow("recorded a minute ago") << qint64(-60) << false;
    }
    void clockSetBack()
    {
        QFETCH(qint64, avance);
        QFETCH(bool, recul);
        RunFixture f;
        QVERIFY(f.startServer());
        const QString annee = QString::number(QDate::currentDate().year());
        const QString ancienne = QString::number(QDate::currentDate().year() - 1);
        // Pages written by the station since the clock was set back.
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(100)));
        QVERIFY(writeFile(f.local(annee + QStringLiteral("/b.png")), "b", RunFixture::ilYa(100)));
        QVERIFY(
            writeFile(f.local(ancienne + QStringLiteral("/c.htm")), "c\n", RunFixture::ilYa(100)));
        const qint64 enregistree = QDateTime::currentSecsSinceEpoch() + avance;
        f.ouvrir({{QStringLiteral("Date"), enregistree}, {QStringLiteral("ExcAnPrec"), 1}});
        const qint64 avant = QDateTime::currentSecsSinceEpoch();
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QCOMPARE(f.serveur.serverFileExists(QStringLiteral("www/a.htm")), recul);
        // Still the user's choice: the old years stay out, the current one
        // (before the recorded year) is not taken for old.
        QCOMPARE(
            f.serveur.serverFileExists(QStringLiteral("www/") + annee + QStringLiteral("/b.png")),
            recul);
        QVERIFY(!QFileInfo::exists(f.serveur.serverFilePath(QStringLiteral("www/") + ancienne)));
        const QString ligne =
            QStringLiteral("Date du dernier transfert (%1) postérieure à l'heure de l'ordinateur : "
                           "l'horloge a reculé, tous les fichiers sont envoyés\n")
                .arg(QDateTime::fromSecsSinceEpoch(enregistree)
                         .toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")));
        QVERIFY2(f.journal().contains(ligne) == recul, qPrintable(f.journal()));
        // Recorded by the clock as it now is: the next run is a normal one.
        QVERIFY(f.dateEnregistree().toLongLong() >= avant - 3);
        QVERIFY(f.dateEnregistree().toLongLong() <= QDateTime::currentSecsSinceEpoch());
    }

    void logOfANormalRun()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), "a\n", RunFixture::ilYa(10)));
        QVERIFY(writeFile(f.local(QStringLiteral("2007/mars.htm")), "b\n", RunFixture::ilYa(10)));
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.journal(),
                 QStringLiteral("Analyse des fichiers...Terminée!\n2 fichiers analysés\n") +
                     sessionOuverte +
                     QStringLiteral("/index.htm...Envoyé\n/2007/mars.htm...Envoyé\n"
                                    "Connexion fermée.\n"));
        QCOMPARE(f.barre()->currentMessage(), QStringLiteral("2/2 fichiers envoyés"));
        // The run log holds the same lines, framed by its heading and outcome.
        const QString fichier = f.journalFichier();
        QVERIFY2(fichier.startsWith(QStringLiteral("=== ")), qPrintable(fichier));
        QVERIFY(fichier.contains(QStringLiteral(" — transfert interactif ===\n") + f.journal() +
                                 QStringLiteral("Résultat : transfert réussi\n")));
        QVERIFY(!fichier.contains(f.serveur.password()));
        // Walk of the second file: one absolute CWD, then the missing level
        // created and entered by its absolute path.
        const QStringList c = f.serveur.commands();
        const int base = c.indexOf(QStringLiteral("CWD /www/2007"));
        QVERIFY(base > 0);
        QCOMPARE(c.mid(base, 3),
                 (QStringList{QStringLiteral("CWD /www/2007"), QStringLiteral("MKD /www/2007"),
                              QStringLiteral("CWD /www/2007")}));
        QCOMPARE(c.count(QStringLiteral("CWD /www")), 0);
    }

    void runLogRotatingInTheMiddleOfARunKeepsEveryLine()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        for (int i = 0; i < 6; ++i)
            QVERIFY(writeFile(f.local(QStringLiteral("d%1/p%1.htm").arg(i)), "p\n",
                              RunFixture::ilYa(10 + i)));
        // Older runs have brought the log just under its bound.
        const QString chemin =
            QFileInfo(settingsFilePath()).absolutePath() + QStringLiteral("/Nuvola.log");
        QVERIFY(QDir().mkpath(QFileInfo(chemin).absolutePath()));
        const QByteArray ancienRun = QByteArray(JournalExecution::tailleMax - 120, 'x') + '\n';
        {
            QFile ancien(chemin);
            QVERIFY(ancien.open(QIODevice::WriteOnly));
            ancien.write(ancienRun);
        }
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 0);

        QFile copie(chemin + QStringLiteral(".1"));
        QVERIFY(copie.open(QIODevice::ReadOnly));
        QByteArray avant = copie.readAll();
        QVERIFY(avant.startsWith(ancienRun));
        avant.remove(0, ancienRun.size());
        QString apres = f.journalFichier();
        const qsizetype finSuite = apres.indexOf(QLatin1Char('\n')) + 1;
        QVERIFY2(
            apres.left(finSuite).endsWith(QStringLiteral(" — transfert interactif (suite) ===\n")),
            qPrintable(apres.left(200)));
        apres.remove(0, finSuite);
        // Both files together: the run's heading, every line of the pane, the outcome.
        const QString run = QString::fromUtf8(avant).remove(QLatin1Char('\r')) + apres;
        const qsizetype finEntete = run.indexOf(QLatin1Char('\n')) + 1;
        QVERIFY(run.left(finEntete).endsWith(QStringLiteral(" — transfert interactif ===\n")));
        QCOMPARE(run.mid(finEntete), f.journal() + QStringLiteral("Résultat : transfert réussi\n"));
        QVERIFY(f.journal().contains(QStringLiteral("/d5/p5.htm...Envoyé\n")));
    }

    void failedOpenings_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::addColumn<QString>("finAttendue");
        QTest::newRow("wrong password")
            << QStringLiteral("password")
            << QStringLiteral("Connection à 127.0.0.1...Connecté !\nErreur non identifiée\n"
                              "Identification refusée par le serveur (réponse du serveur : 530 "
                              "Authentication failed.)\n"
                              "Identification impossible \nVérifiez le nom d'utilisateur et le mot "
                              "de passe\n");
        QTest::newRow("refused connection")
            << QStringLiteral("port")
            << QStringLiteral(
                   "Connection à 127.0.0.1...Connexion refusée : vérifiez les paramètres\n"
                   "Connexion impossible au serveur\nVérifiez le nom et le numéro de port\n");
        QTest::newRow("missing base folder")
            << QStringLiteral("folder")
            << sessionOuverte +
                   QStringLiteral("Impossible de se déplacer dans le dossier source\n"
                                  "Fichier ou dossier refusé par le serveur (droits ou chemin) "
                                  "(réponse du serveur : 550 No such file or directory.)\n");
    }
    void failedOpenings()
    {
        QFETCH(QString, cas);
        QFETCH(QString, finAttendue);
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), "a\n", RunFixture::ilYa(10)));
        QMap<QString, QVariant> reglages{{QStringLiteral("Date"), 1000}};
        if (cas == QLatin1String("password"))
            reglages.insert(QStringLiteral("Pass"), QStringLiteral("faux"));
        if (cas == QLatin1String("folder"))
            reglages.insert(QStringLiteral("DosServeur"), QStringLiteral("absent"));
        if (cas == QLatin1String("port")) {
            QTcpServer libre;
            QVERIFY(libre.listen(QHostAddress::LocalHost));
            reglages.insert(QStringLiteral("Port"), libre.serverPort());
        }
        f.ouvrir(reglages);
        f.fenetre->transfert();
        const QString debut =
            QStringLiteral("Analyse des fichiers...Terminée!\n1 fichiers analysés\n");
        QVERIFY2(f.journal().startsWith(debut + finAttendue), qPrintable(f.journal()));
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
        QCOMPARE(f.bouton()->text(), QStringLiteral("Transférer"));
        QCOMPARE(f.fenetre->codeSortie(), 2);
        QVERIFY(!f.serveur.serverFileExists(QStringLiteral("www/index.htm")));
        QVERIFY2(f.journalFichier().endsWith(f.journal() + QStringLiteral("Résultat : échec\n")),
                 qPrintable(f.journalFichier()));
    }

    void lostConnectionReconnectsAndGoesOn()
    {
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--drop-in-transfer"), QStringLiteral("1000"),
                               QStringLiteral("--fault-sessions"), QStringLiteral("1")}));
        const QByteArray gros = binaire(200000, 7);
        QVERIFY(writeFile(f.local(QStringLiteral("radar.png")), gros, RunFixture::ilYa(10)));
        QVERIFY(writeFile(f.local(QStringLiteral("a/b.htm")), "b\n", RunFixture::ilYa(20)));
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/radar.png")), gros);
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a/b.htm")), QByteArray("b\n"));
        const QString attendu =
            QStringLiteral("Analyse des fichiers...Terminée!\n2 fichiers analysés\n") +
            sessionOuverte +
            QStringLiteral("/radar.png...Echec\nImpossible d'envoyer la commande\nReconnexion au "
                           "serveur...\n") +
            sessionOuverte +
            QStringLiteral("/radar.png...Envoyé\n/a/b.htm...Envoyé\nConnexion fermée.\n");
        QCOMPARE(f.journal(), attendu);
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QVERIFY(f.dateEnregistree().toLongLong() > 1000);
    }

    void failureLimit_data()
    {
        QTest::addColumn<int>("refus");
        QTest::addColumn<bool>("reussi");
        QTest::newRow("four failures then successes") << 4 << true;
        QTest::newRow("fifth failure stops the run") << 5 << false;
    }
    void failureLimit()
    {
        QFETCH(int, refus);
        QFETCH(bool, reussi);
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--refuse-stor-count"), QString::number(refus)}));
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        QVERIFY(writeFile(f.local(QStringLiteral("b.htm")), "b\n", RunFixture::ilYa(20)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QCOMPARE(f.journal().count(QStringLiteral("Echec\n")), qMin(refus, 5));
        QCOMPARE(f.serveur.serverFileExists(QStringLiteral("www/b.htm")), reussi);
        QCOMPARE(f.dateEnregistree() != QLatin1String("1000"), reussi);
        QCOMPARE(f.fenetre->codeSortie(), reussi ? 0 : 2);
    }

    void fileThatCannotBeOpenedStopsAfterThreeAttempts()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        QVERIFY(writeFile(f.local(QStringLiteral("b.htm")), "b\n", RunFixture::ilYa(20)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        // Removed between the scan and its upload.
        const QString aRetirer = f.local(QStringLiteral("a.htm"));
        QObject::connect(f.barre(), &QStatusBar::messageChanged, f.fenetre.get(),
                         [&](const QString &m) {
                             if (m.endsWith(QStringLiteral("fichiers à transférer")))
                                 QFile::remove(aRetirer);
                         });
        f.fenetre->transfert();
        QVERIFY(!f.serveur.commands().join(QLatin1Char('\n')).contains(QLatin1String("STOR")));
        // Each attempt says which file is missing, or the failure has no reason.
        QCOMPARE(f.journal().count(QStringLiteral("Fichier introuvable : /a.htm\n")), 3);
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
        QCOMPARE(f.fenetre->codeSortie(), 2);
    }

    void cancelDuringAnUpload()
    {
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--stall-stor-after"), QStringLiteral("1000")}));
        QVERIFY(writeFile(f.local(QStringLiteral("gros.png")), binaire(3000000, 4),
                          RunFixture::ilYa(10)));
        QVERIFY(writeFile(f.local(QStringLiteral("petit.htm")), "p\n", RunFixture::ilYa(20)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        bool annule = false;
        QTimer clic;
        clic.setInterval(50);
        QObject::connect(&clic, &QTimer::timeout, f.fenetre.get(), [&] {
            FtpClient *c = f.client();
            if (!annule && c && c->currentCommand() == FtpClient::Put) {
                annule = true;
                QTest::mouseClick(f.bouton(), Qt::LeftButton);
                // A second press while the cancelled run closes starts nothing.
                QTimer::singleShot(0, f.bouton(), [&] {
                    QCOMPARE(f.bouton()->text(), QStringLiteral("Transférer"));
                    QTest::mouseClick(f.bouton(), Qt::LeftButton);
                });
            }
        });
        clic.start();
        f.fenetre->transfert();
        QVERIFY(annule);
        QCOMPARE(f.bouton()->text(), QStringLiteral("Transférer"));
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
        QVERIFY(!f.serveur.serverFileExists(QStringLiteral("www/petit.htm")));
        QCOMPARE(f.journal().count(QStringLiteral("Analyse des fichiers...")), 1);
        QCOMPARE(f.serveur.sessions().size(), 1);
        QVERIFY2(f.journalFichier().endsWith(QStringLiteral("Résultat : annulé\n")),
                 qPrintable(f.journalFichier()));
        QCOMPARE(f.journalFichier().count(QStringLiteral("=== ")), 1);
        QCOMPARE(f.fenetre->codeSortie(), 2);
    }

    void uploadTimeOutIsAlwaysAFailure()
    {
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--stall-on"), QStringLiteral("STOR")}));
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        DelaisFtp delais;
        delais.envoi = 600;
        delais.abandon = 1000;
        f.fenetre->setDelaisFtp(delais);
        f.fenetre->transfert();
        // Each time-out counts twice, so the third one stops the run.
        QCOMPARE(f.journal().count(QStringLiteral("\nTemps de transfert dépassé\n")), 3);
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
        QCOMPARE(f.fenetre->codeSortie(), 2);
    }

    // The upload wait runs from the last progress: a file that takes several
    // times the wait to send still arrives, and a server that stops reading
    // half-way is still given up.
    void uploadWaitRunsFromTheLastProgress_data()
    {
        QTest::addColumn<QStringList>("fautes");
        QTest::addColumn<int>("attente");
        QTest::addColumn<bool>("envoye");
        const auto s = [](const char *t) { return QString::fromLatin1(t); };
        // The wait must outlast the end of the upload, once the client's
        // system holds the last of it: about 1.5 MB here, 0.75 s at this pace.
        QTest::newRow("slow but steady")
            << QStringList{s("--read-limit"), s("2000000")} << 2000 << true;
        QTest::newRow("stops reading after 500 kB")
            << QStringList{s("--read-limit"), s("2000000"), s("--stall-stor-after"), s("500000")}
            << 1000 << false;
    }
    void uploadWaitRunsFromTheLastProgress()
    {
        QFETCH(QStringList, fautes);
        QFETCH(int, attente);
        QFETCH(bool, envoye);
        RunFixture f;
        QVERIFY(f.startServer(fautes));
        const QByteArray contenu = binaire(10000000, 7);
        QVERIFY(writeFile(f.local(QStringLiteral("video.png")), contenu, RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        DelaisFtp delais;
        delais.envoi = attente;
        delais.abandon = 1000;
        f.fenetre->setDelaisFtp(delais);
        QElapsedTimer duree;
        duree.start();
        f.fenetre->transfert();
        const qint64 ms = duree.elapsed();
        const int depassements =
            f.journal().count(QStringLiteral("\nTemps de transfert dépassé\n"));
        if (envoye) {
            QVERIFY2(f.fenetre->codeSortie() == 0, qPrintable(f.journal()));
            QCOMPARE(depassements, 0);
            QVERIFY(f.serveur.serverFileContent(QStringLiteral("www/video.png")) == contenu);
            // Otherwise the case proves nothing about the wait.
            QVERIFY2(ms > 2 * delais.envoi, qPrintable(QStringLiteral("%1 ms").arg(ms)));
        } else {
            QCOMPARE(depassements, 3);
            QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
            QCOMPARE(f.fenetre->codeSortie(), 2);
            // Three attempts, each half a second of progress, the wait and
            // the abort's.
            QVERIFY2(ms < 12000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
        }
    }

    // A refusal says in French what the server would not do, with its reply.
    void refusalSaysWhy_data()
    {
        QTest::addColumn<QStringList>("fautes");
        QTest::addColumn<QString>("fichier");
        QTest::addColumn<QString>("ligne");
        const auto s = [](const char *t) { return QString::fromUtf8(t); };
        QTest::newRow("full disk") << QStringList{s("--disk-full=452")} << s("a.htm")
                                   << s("Echec\nErreur non identifiée\nEspace disque insuffisant "
                                        "sur le serveur (réponse du serveur : 452 Insufficient "
                                        "storage space.)\n");
        QTest::newRow("quota") << QStringList{s("--disk-full=552")} << s("a.htm")
                               << s("Echec\nErreur non identifiée\nEspace alloué sur le serveur "
                                    "dépassé (réponse du serveur : 552 Insufficient storage "
                                    "space.)\n");
        QTest::newRow("upload refused") << QStringList{s("--refuse-stor")} << s("a.htm")
                                        << s("Echec\nErreur non identifiée\nNom de fichier "
                                             "refusé par le serveur (réponse du serveur : 553 "
                                             "Could not create file.)\n");
        QTest::newRow("folder refused")
            << QStringList{s("--refuse-mkd")} << s("neuf/a.htm")
            << s("Erreur mkdir\nErreur non identifiée\nFichier ou dossier refusé par le serveur "
                 "(droits ou chemin) (réponse du serveur : 550 Permission denied.)\n");
    }
    void refusalSaysWhy()
    {
        QFETCH(QStringList, fautes);
        QFETCH(QString, fichier);
        QFETCH(QString, ligne);
        RunFixture f;
        QVERIFY(f.startServer(fautes));
        QVERIFY(writeFile(f.local(fichier), "a\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 2);
        QVERIFY2(f.journal().contains(ligne), qPrintable(f.journal()));
        QVERIFY2(f.journalFichier().contains(ligne), qPrintable(f.journalFichier()));
    }

    // The tray's frame follows the files sent, where there is a tray to show
    // it; without one, no frame is decoded for nothing.
    void progressStatusAndTrayFrames_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }
    void progressStatusAndTrayFrames()
    {
        QFETCH(bool, tray);
        RunFixture f;
        QVERIFY(f.startServer());
        for (int i = 0; i < 24; ++i)
            QVERIFY(writeFile(f.local(QStringLiteral("f%1.htm").arg(i, 2, 10, QLatin1Char('0'))),
                              "x\n", RunFixture::ilYa(10 + i)));
        forcerTrayDisponible(tray);
        f.ouvrir();
        retablirTrayDisponible();
        QStringList messages;
        QList<int> images;
        // While files go, the status bar paints at its own pace.
        QList<bool> peinturesDifferees;
        QObject::connect(f.barre(), &QStatusBar::messageChanged, f.fenetre.get(),
                         [&](const QString &m) {
                             messages << m;
                             if (m.endsWith(QStringLiteral("fichiers envoyés"))) {
                                 images << trayFrame(f.tray());
                                 peinturesDifferees << !f.barre()->updatesEnabled();
                             }
                         });
        f.fenetre->transfert();
        QStringList attendus{QStringLiteral("24 fichiers à transférer")};
        QList<int> imagesAttendues;
        for (int k = 1; k <= 24; ++k) {
            attendus << QStringLiteral("%1/24 fichiers envoyés").arg(k);
            imagesAttendues << (tray ? (k - 1) / 2 : 0);
        }
        QCOMPARE(messages, attendus);
        QCOMPARE(images, imagesAttendues);
        QCOMPARE(peinturesDifferees, QList<bool>(24, true));
        QVERIFY(f.barre()->updatesEnabled());
        QVERIFY(f.fenetre->findChild<QProgressBar *>()->updatesEnabled());
        QCOMPARE(trayFrame(f.tray()), 0);
        QCOMPARE(f.fenetre->findChild<QProgressBar *>()->maximum(), 23);
        QCOMPARE(f.fenetre->findChild<QProgressBar *>()->value(), 23);
    }

    void nothingToSendRecordsTheRunWithoutConnecting()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(100)));
        f.ouvrir({{QStringLiteral("Date"), QDateTime::currentSecsSinceEpoch()}});
        const qint64 avant = QDateTime::currentSecsSinceEpoch();
        f.fenetre->transfert();
        QCOMPARE(f.journal(),
                 QStringLiteral("Analyse des fichiers...Terminée!\n1 fichiers analysés\n"
                                "Aucun fichier à transférer\n"));
        QVERIFY(
            f.journalFichier().endsWith(QStringLiteral("Résultat : aucun fichier à transférer\n")));
        QCOMPARE(f.barre()->currentMessage(), QStringLiteral("0 fichiers à transférer"));
        QVERIFY(f.dateEnregistree().toLongLong() >= avant - 3);
        QVERIFY(f.serveur.commands().isEmpty());
        QCOMPARE(f.fenetre->codeSortie(), 0);
    }

    void missingLocalFolderIsAFailure()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        const QString absent = f.local(QStringLiteral("disque-debranche"));
        f.ouvrir({{QStringLiteral("Date"), 1000}, {QStringLiteral("DosLocal"), absent}});
        f.fenetre->transfert();
        QCOMPARE(f.journal(),
                 QStringLiteral("Analyse des fichiers...Terminée!\n0 fichiers analysés\n"
                                "Dossier local introuvable : ") +
                     absent + QStringLiteral("\n"));
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
        QVERIFY(f.serveur.commands().isEmpty());
        QCOMPARE(f.fenetre->codeSortie(), 2);
    }
};

QTEST_MAIN(TestTransferRun)
#include "tst_transferrun.moc"
