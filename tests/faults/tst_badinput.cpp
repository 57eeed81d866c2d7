// Bad local input: no crash, no hang, nothing lost, and a French line where
// the user needs to know.
#include "../dialogs/dialogtestutil.h"
#include "../transfer/runfixture.h"
#include "config/settingsfile.h"
#include "sanspassedroit.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QByteArray garbage(int size, quint32 x)
{
    QByteArray b;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b.append(static_cast<char>(x >> 24));
    }
    return b;
}

bool writeRaw(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

// What the disk holds: QSettings would answer from its cache, which keeps
// values it could not write.
QByteArray readRaw(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

    enum Enregistrement { Quitter, DateComparaison, ListeExclusion };

private slots:
    void corruptSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::newRow("binary") << garbage(4096, 7);
        QTest::newRow("binary with NULs") << QByteArray(300, '\0') + garbage(100, 3);
        QTest::newRow("unclosed section and quotes")
            << QByteArray("[Config\nServeur=\"abc\nPort=\n=\n");
        QTest::newRow("huge values")
            << QByteArray("[Config]\nPort=999999999999999999999\n"
                          "MiniChck=99999999999999\nDate=99999999999999999999\n");
        QTest::newRow("very long line")
            << QByteArray("[Config]\nServeur=") + QByteArray(2000000, 'a');
    }
    void corruptSettingsFile()
    {
        QFETCH(QByteArray, contenu);
        TemporaryDataHome data;
        QVERIFY(writeRaw(settingsFilePath(), contenu));
        {
            FenPrincipale fenetre; // must start, whatever the file holds
            const int port = fenetre.findChild<QSpinBox *>()->value();
            QVERIFY(port >= 0 && port <= 65535);
        }
        // The last-success time can still be recorded over it and read back,
        // or every later run would compare with "now" and send nothing;
        // and the write is not taken for a failure because of what it replaced.
        QVERIFY(ecrireDateDernierSucces(settingsFilePath(), 1355000000));
        QCOMPARE(lireDateComparaison(settingsFilePath(), 0), 1355000000u);
    }

    void garbageInTheExclusionListExcludesOnlyWhatItHolds()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        // Binary garbage without a blank line: no entry can match a plain path.
        QByteArray dechets = garbage(2000, 11);
        dechets.replace('\n', 'x');
        dechets.replace('\r', 'y');
        dechets.replace('/', 'z');
        QVERIFY(writeRaw(QFileInfo(settingsFilePath()).absolutePath() +
                             QStringLiteral("/ExcludedFiles.dat"),
                         dechets));
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a.htm")), QByteArray("a\n"));
        QCOMPARE(f.fenetre->codeSortie(), 0);
    }

    void nameWithALineFeedIsSkippedAndTheRestSent()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows file names cannot hold a line feed");
#endif
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(
            writeFile(f.local(QStringLiteral("x\nDELE a.htm")), "piege\n", RunFixture::ilYa(5)));
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a.htm")), QByteArray("a\n"));
        const QStringList c = f.serveur.commands();
        QVERIFY2(!c.join(QLatin1Char('|')).contains(QLatin1String("DELE")),
                 qPrintable(c.join(QLatin1Char('|'))));
        QVERIFY2(f.journal().contains(QStringLiteral("Fichier ignoré : /x\\nDELE a.htm")),
                 qPrintable(f.journal()));
        QVERIFY(f.journal().contains(QStringLiteral("Attention : 1 fichier(s) ignoré(s)")));
        // One file that can never be sent does not make every run fail.
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QVERIFY(f.dateEnregistree() != QLatin1String("1000"));
    }

    void fileReplacedByAFolderBeforeItsUploadIsSkipped()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(5)));
        QVERIFY(writeFile(f.local(QStringLiteral("b.htm")), "b\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        const QString a = f.local(QStringLiteral("a.htm"));
        QObject::connect(f.barre(), &QStatusBar::messageChanged, f.fenetre.get(),
                         [&](const QString &m) {
                             if (m.endsWith(QStringLiteral("fichiers à transférer"))) {
                                 QFile::remove(a);
                                 QDir().mkdir(a);
                             }
                         });
        f.fenetre->transfert();
        QVERIFY(f.journal().contains(
            QStringLiteral("Fichier ignoré : /a.htm (remplacé par un dossier)")));
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/b.htm")), QByteArray("b\n"));
        QCOMPARE(f.fenetre->codeSortie(), 0);
    }

    void unreadableFileIsSkippedAndTheRestSent()
    {
#ifndef Q_OS_LINUX
        QSKIP("file permissions that deny reading are tested on Linux");
#else
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(5)));
        QVERIFY(writeFile(f.local(QStringLiteral("b.htm")), "b\n", RunFixture::ilYa(10)));
        const QString a = f.local(QStringLiteral("a.htm"));
        QVERIFY(QFile::setPermissions(a, QFileDevice::Permissions()));
        SansPasseDroit sansPasseDroit;
        QFile essai(a);
        if (!sansPasseDroit.actif() || essai.open(QIODevice::ReadOnly))
            QSKIP("this process reads files whatever their permissions");
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QVERIFY2(
            f.journal().contains(QStringLiteral("Fichier ignoré : /a.htm (lecture impossible)")),
            qPrintable(f.journal()));
        QVERIFY(f.journal().contains(QStringLiteral("Attention : 1 fichier(s) ignoré(s)")));
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/b.htm")), QByteArray("b\n"));
        QVERIFY(!f.serveur.commands().contains(QStringLiteral("STOR a.htm")));
        // Made readable again, it is the user's to resend (by date), not a
        // reason for every run to fail meanwhile.
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QVERIFY(f.dateEnregistree() != QLatin1String("1000"));
#endif
    }

    void namesNotInTheFileNameEncodingAreSkipped_data()
    {
        QTest::addColumn<bool>("dossier");
        QTest::addColumn<QString>("ligne");
        QTest::addColumn<QString>("attention");
        QTest::newRow("a file") << false
                                << QStringLiteral("Fichier ignoré : /d\uFFFDp.htm (nom illisible, "
                                                  "à renommer)\n")
                                << QStringLiteral("Attention : 1 fichier(s) ignoré(s)");
        QTest::newRow("a folder") << true
                                  << QStringLiteral("Dossier ignoré : /d\uFFFDp (nom illisible, à "
                                                    "renommer)\n")
                                  << QStringLiteral("Attention : 1 dossier(s) illisible(s)");
    }
    void namesNotInTheFileNameEncodingAreSkipped()
    {
#ifndef Q_OS_LINUX
        QSKIP("names are bytes on Linux only; elsewhere the system keeps them valid");
#else
        QFETCH(bool, dossier);
        QFETCH(QString, ligne);
        QFETCH(QString, attention);
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(10)));
        // "dép" in Latin-1, as an older program or an archive would leave it.
        const QByteArray brut =
            QFile::encodeName(f.local()) + (dossier ? "/d\xe9p" : "/d\xe9p.htm");
        const QByteArray fichier = dossier ? brut + "/b.htm" : brut;
        QVERIFY(!dossier || ::mkdir(brut.constData(), 0755) == 0);
        const auto effacer = qScopeGuard([&] {
            ::unlink(fichier.constData());
            ::rmdir(brut.constData());
        });
        const int fd = ::open(fichier.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "b\n", 2), 2);
        ::close(fd);
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QVERIFY2(f.journal().contains(ligne), qPrintable(f.journal()));
        QVERIFY2(f.journal().contains(attention), qPrintable(f.journal()));
        // Passed over, as a file that can never be sent: the run succeeds and
        // the next one does not try it again.
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a.htm")), QByteArray("a\n"));
        QCOMPARE(f.serveur.commands().filter(QStringLiteral("STOR")),
                 QStringList{QStringLiteral("STOR a.htm")});
        QVERIFY(f.dateEnregistree() != QLatin1String("1000"));
#endif
    }

    void unreadableFolders_data()
    {
        QTest::addColumn<QString>("ferme"); // "." for the local folder itself
        QTest::addColumn<bool>("autreNouveau");
        QTest::addColumn<QStringList>("lignes");
        QTest::addColumn<int>("code");
        const QString ignore = QStringLiteral("Dossier ignoré : /sec (lecture impossible)\n");
        const QString attention = QStringLiteral(
            "Attention : 1 dossier(s) illisible(s) ignoré(s), leurs fichiers repris seulement à "
            "leur prochaine modification\n");
        QTest::newRow("a folder of the site, beside a new file")
            << QStringLiteral("sec") << true << QStringList{ignore, attention} << 0;
        QTest::newRow("a folder of the site, nothing else new")
            << QStringLiteral("sec") << false
            << QStringList{ignore, QStringLiteral("Aucun fichier à transférer\n"), attention} << 0;
        // Nothing listed there is not nothing changed: the run fails.
        QTest::newRow("the local folder itself")
            << QStringLiteral(".") << true
            << QStringList{QStringLiteral("Dossier local illisible : ")} << 2;
    }
    void unreadableFolders()
    {
#ifndef Q_OS_LINUX
        QSKIP("folder permissions that deny reading are tested on Linux");
#else
        QFETCH(QString, ferme);
        QFETCH(bool, autreNouveau);
        QFETCH(QStringList, lignes);
        QFETCH(int, code);
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n",
                          RunFixture::ilYa(autreNouveau ? 5 : 5000)));
        QVERIFY(writeFile(f.local(QStringLiteral("sec/b.htm")), "b\n", RunFixture::ilYa(10)));
        const QString cible = ferme == QLatin1String(".") ? f.local() : f.local(ferme);
        const QFile::Permissions avant = QFile::permissions(cible);
        QVERIFY(QFile::setPermissions(cible, QFileDevice::Permissions()));
        const auto rendre = qScopeGuard([&] { QFile::setPermissions(cible, avant); });
        SansPasseDroit sansPasseDroit;
        if (!sansPasseDroit.actif() || !QDir(cible).entryList(QDir::AllEntries).isEmpty())
            QSKIP("this process reads folders whatever their permissions");
        f.ouvrir({{QStringLiteral("Date"), autreNouveau ? 1000 : RunFixture::ilYa(100)}});
        const QString dateAvant = f.dateEnregistree();
        f.fenetre->transfert();
        const QString journal = f.journal();
        qsizetype depuis = 0;
        for (const QString &ligne : lignes) {
            depuis = journal.indexOf(ligne, depuis);
            QVERIFY2(depuis >= 0, qPrintable(ligne + QStringLiteral(" ? ") + journal));
        }
        QCOMPARE(f.fenetre->codeSortie(), code);
        QVERIFY(!f.serveur.commands().contains(QStringLiteral("STOR b.htm")));
        if (code != 0) {
            // Date has not moved: once the folder is readable, all is sent.
            QCOMPARE(f.dateEnregistree(), dateAvant);
            QVERIFY(f.serveur.commands().isEmpty());
            return;
        }
        // Like a file that cannot be read, the folder does not fail every run.
        QVERIFY(f.dateEnregistree() != dateAvant);
        if (autreNouveau)
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a.htm")), QByteArray("a\n"));
#endif
    }

    void unwritableSettingsFailTheRunAndKeepDate_data()
    {
        QTest::addColumn<bool>("dossierFerme"); // else the file itself is read-only
        QTest::addColumn<bool>("autreNouveau");
        QTest::newRow("read-only file, a file to send") << false << true;
        QTest::newRow("read-only file, nothing new") << false << false;
        QTest::newRow("read-only folder, a file to send") << true << true;
    }
    void unwritableSettingsFailTheRunAndKeepDate()
    {
#ifndef Q_OS_LINUX
        QSKIP("permissions that deny writing are tested on Linux");
#else
        QFETCH(bool, dossierFerme);
        QFETCH(bool, autreNouveau);
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n",
                          RunFixture::ilYa(autreNouveau ? 5 : 5000)));
        const qint64 date = RunFixture::ilYa(100);
        f.ouvrir({{QStringLiteral("Date"), date}});
        const QString ini = settingsFilePath();
        const QString cible = dossierFerme ? QFileInfo(ini).absolutePath() : ini;
        const QFile::Permissions droits = QFile::permissions(cible);
        QVERIFY(QFile::setPermissions(cible, dossierFerme
                                                 ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                 : QFileDevice::ReadOwner));
        const auto rendre = qScopeGuard([&] { QFile::setPermissions(cible, droits); });
        SansPasseDroit sansPasseDroit;
        QFile essai(ini);
        if (!sansPasseDroit.actif() || (!dossierFerme && essai.open(QIODevice::ReadWrite)))
            QSKIP("this process writes files whatever their permissions");

        f.fenetre->transfert();
        QVERIFY2(f.journal().contains(QStringLiteral(
                     "Date du transfert non enregistrée (écriture impossible dans ")),
                 qPrintable(f.journal()));
        // Sent, but not recorded: the run is not over until the user sees to it.
        QCOMPARE(f.fenetre->codeSortie(), 2);
        if (autreNouveau)
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/a.htm")), QByteArray("a\n"));
        QVERIFY(readRaw(ini).contains("Date=" + QByteArray::number(date)));
#endif
    }

    void unwritableSettingsAreSaidWhenTheUserSaves_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("fichier");
        QTest::addColumn<QString>("texte");
        const QString ini = QStringLiteral("Nuvola.ini");
        QTest::newRow("quitting") << int(Quitter) << ini
                                  << QStringLiteral(
                                         "Les réglages n'ont pas pu être enregistrés dans ");
        QTest::newRow("comparison date")
            << int(DateComparaison) << ini
            << QStringLiteral("La date n'a pas pu être enregistrée dans ");
        QTest::newRow("exclusion list")
            << int(ListeExclusion) << QStringLiteral("ExcludedFiles.dat")
            << QStringLiteral("La liste d'exclusion n'a pas pu être enregistrée dans ");
    }
    void unwritableSettingsAreSaidWhenTheUserSaves()
    {
#ifndef Q_OS_LINUX
        QSKIP("permissions that deny writing are tested on Linux");
#else
        QFETCH(int, action);
        QFETCH(QString, fichier);
        QFETCH(QString, texte);
        TemporaryDataHome data;
        const QString ini = settingsFilePath();
        const QString cible = QFileInfo(ini).absolutePath() + QLatin1Char('/') + fichier;
        const QByteArray avant("[Config]\nServeur=avant\nDate=1000\n");
        QVERIFY(writeRaw(ini, avant));
        if (cible != ini)
            QVERIFY(writeRaw(cible, avant));
        FenPrincipale fenetre;
        // The list is replaced whole through a new file beside it: its folder
        // is what stops it (a read-only file goes too, unless the process may
        // write anything, as root can).
        const QString ferme = cible == ini ? cible : QFileInfo(cible).absolutePath();
        const QFile::Permissions droits = QFile::permissions(ferme);
        QVERIFY(QFile::setPermissions(ferme, cible == ini
                                                 ? QFileDevice::ReadOwner
                                                 : QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto rendre = qScopeGuard([&] { QFile::setPermissions(ferme, droits); });
        SansPasseDroit sansPasseDroit;
        QFile essai(cible == ini ? cible : ferme + QStringLiteral("/essai"));
        if (!sansPasseDroit.actif() || essai.open(QIODevice::ReadWrite))
            QSKIP("this process writes files whatever their permissions");

        const auto estBoite = estDeType<QMessageBox>();
        // The comparison date's own dialog comes first, accepted as it stands.
        if (action == DateComparaison)
            quandModal([&](QWidget *w) { return !estBoite(w); },
                       [](QWidget *w) { static_cast<QDialog *>(w)->accept(); });
        QString dit;
        auto boiteVue = repondreBoite(&dit);
        if (action == Quitter)
            fenetre.Quitter();
        else if (action == DateComparaison)
            fenetre.modifDate();
        else
            fenetre.EcritureFichierExclu();
        QVERIFY(*boiteVue);
        QVERIFY2(dit.startsWith(texte), qPrintable(dit));
        QVERIFY(dit.contains(cible));
        QCOMPARE(readRaw(cible), avant);
        if (action == Quitter) {
            // Quitting closes the window, whose close quits: said once only.
            auto encore = std::make_shared<QString>();
            auto secondeBoite = quandModal(
                estBoite,
                [encore](QWidget *w) {
                    *encore = static_cast<QMessageBox *>(w)->text();
                    static_cast<QMessageBox *>(w)->accept();
                },
                300);
            fenetre.close();
            // The watcher ends before the next case can meet it.
            QTest::qWait(400);
            QVERIFY2(!*secondeBoite, qPrintable(*encore));
        }
#endif
    }

    // Read as missing, the file would give a form of defaults, and "Date"
    // unset: the run would compare with now and never send what changed
    // since the last success, and quitting would write the defaults over the
    // user's settings once the file could be read again.
    void unreadableSettingsFailTheRunAndAreNotReplaced()
    {
#ifndef Q_OS_LINUX
        QSKIP("permissions that deny reading are tested on Linux");
#else
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(5)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre.reset();
        const QString ini = settingsFilePath();
        const QByteArray avant = readRaw(ini);
        const QFile::Permissions droits = QFile::permissions(ini);
        QVERIFY(QFile::setPermissions(ini, QFileDevice::Permissions()));
        const auto rendre = qScopeGuard([&] { QFile::setPermissions(ini, droits); });
        {
            SansPasseDroit sansPasseDroit;
            QFile essai(ini);
            if (!sansPasseDroit.actif() || essai.open(QIODevice::ReadOnly))
                QSKIP("this process reads files whatever their permissions");
            QString auDemarrage;
            auto boiteDemarrage = repondreBoite(&auDemarrage);
            f.fenetre = std::make_unique<FenPrincipale>();
            QVERIFY(*boiteDemarrage);
            QVERIFY2(auDemarrage.startsWith(
                         QStringLiteral("Les réglages n'ont pas pu être lus dans ") + ini),
                     qPrintable(auDemarrage));
            f.fenetre->transfert();
            QVERIFY2(f.journal().startsWith(QStringLiteral("Réglages illisibles : ") + ini),
                     qPrintable(f.journal()));
            QCOMPARE(f.fenetre->codeSortie(), 2);
            QVERIFY(f.serveur.commands().isEmpty());
        }
        QVERIFY(QFile::setPermissions(ini, droits));
        QString dit;
        auto boiteVue = repondreBoite(&dit);
        f.fenetre->Quitter();
        QVERIFY(*boiteVue);
        QVERIFY2(dit.startsWith(QStringLiteral("Les réglages n'ont pas pu être lus au démarrage")),
                 qPrintable(dit));
        QCOMPARE(readRaw(ini), avant);
#endif
    }

    void linkLoopInTheSiteEnds()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("d/a.htm")), "a\n", RunFixture::ilYa(10)));
        if (!makeSymlink(f.local(), f.local(QStringLiteral("d/boucle"))))
            QSKIP("no symbolic links here");
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/d/a.htm")), QByteArray("a\n"));
        QCOMPARE(f.fenetre->codeSortie(), 0);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
