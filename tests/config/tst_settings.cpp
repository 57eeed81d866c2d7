#include "config/settingsfile.h"
#include "sanspassedroit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

void ecrireBrut(const QString &chemin, const QByteArray &contenu)
{
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(contenu);
}

// What the disk holds: QSettings would answer from its cache, which keeps a
// value it could not write.
QByteArray lireBrut(const QString &chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(illisible)");
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dossier;
    QString m_ini;

private slots:
    void init()
    {
        QVERIFY(m_dossier.isValid());
        // A file of its own per case: QSettings caches what it read by path.
        static int numero = 0;
        m_ini = m_dossier.filePath(QStringLiteral("%1/Nuvola.ini").arg(++numero));
        QDir().mkpath(QFileInfo(m_ini).absolutePath());
    }

    void pathIsInDataLocationWithoutSubFolder()
    {
        const QString data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
        QVERIFY(!data.isEmpty());
        QCOMPARE(cheminFichierIni(), data + QStringLiteral("/Nuvola.ini"));
    }

    void missingFileGivesDefaults()
    {
        const ValeursFormulaire v = lireFormulaire(m_ini);
        QCOMPARE(v.minimise, false);
        QCOMPARE(v.exclureAnnees, false);
        QCOMPARE(v.ftps, false);
        QVERIFY(!v.serveur.isEmpty());
        QCOMPARE(v.port, 21);
        QCOMPARE(v.utilisateur, QStringLiteral("user"));
        QCOMPARE(v.motDePasse, QStringLiteral("mdps"));
        QCOMPARE(v.dossierServeur, QStringLiteral("www"));
        QCOMPARE(v.dossierLocal, QStringLiteral("C:/Program Files/Pluvio/html"));
        QCOMPARE(v.ascii, QStringLiteral("txt;html;php;htm;"));
        QCOMPARE(v.binaire, QStringLiteral("gif;jpg;png;"));
        QCOMPARE(v.dossierExclu, QStringLiteral("xxxx;www;"));
        QVERIFY2(!QFileInfo::exists(m_ini), "reading must not create the file");
    }

    void presentKeyWithEmptyValueStaysEmpty()
    {
        ecrireBrut(m_ini, "[Config]\nUtilisateur=\nDosServeur=\nbinaire=\n");
        const ValeursFormulaire v = lireFormulaire(m_ini);
        QCOMPARE(v.utilisateur, QString());
        QCOMPARE(v.dossierServeur, QString());
        QCOMPARE(v.binaire, QString());
        QCOMPARE(v.motDePasse, QStringLiteral("mdps")); // missing key: default
    }

    void conversions_data()
    {
        QTest::addColumn<QByteArray>("ligne");
        QTest::addColumn<bool>("minimise");
        QTest::addColumn<int>("port");
        QTest::newRow("checked and port") << QByteArray("MiniChck=1\nPort=2121") << true << 2121;
        QTest::newRow("any non-zero checks") << QByteArray("MiniChck=7\nPort=21") << true << 21;
        QTest::newRow("word true is not a number")
            << QByteArray("MiniChck=true\nPort=21") << false << 21;
        QTest::newRow("letters in port give 0") << QByteArray("MiniChck=0\nPort=abc") << false << 0;
        QTest::newRow("negative port kept for the box") << QByteArray("Port=-5") << false << -5;
        QTest::newRow("huge port kept for the box") << QByteArray("Port=70000") << false << 70000;
        QTest::newRow("garbage") << QByteArray("MiniChck=\x01\x02\nPort=1e3") << false << 0;
    }
    void conversions()
    {
        QFETCH(QByteArray, ligne);
        QFETCH(bool, minimise);
        QFETCH(int, port);
        ecrireBrut(m_ini, "[Config]\n" + ligne + "\n");
        const ValeursFormulaire v = lireFormulaire(m_ini);
        QCOMPARE(v.minimise, minimise);
        QCOMPARE(v.port, port);
    }

    void textsReadBackExactly_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::newRow("semicolons") << QStringLiteral("gif;jpg;png;");
        QTest::newRow("comma") << QStringLiteral("a,b");
        QTest::newRow("equals") << QStringLiteral("mot=de=passe");
        QTest::newRow("quotes") << QStringLiteral("il a dit \"oui\" 'non'");
        QTest::newRow("accents") << QStringLiteral("Pluviomètre été à Noël ç");
        QTest::newRow("backslashes") << QStringLiteral("C:\\Station\\html\\");
        QTest::newRow("leading and trailing blanks") << QStringLiteral("  x  ");
        QTest::newRow("hash and brackets") << QStringLiteral("#[Config]%;");
        QTest::newRow("empty") << QString();
    }
    void textsReadBackExactly()
    {
        QFETCH(QString, texte);
        ValeursFormulaire v;
        v.portTexte = QStringLiteral("21");
        v.motDePasse = texte;
        v.ascii = texte;
        v.dossierLocal = texte;
        ecrireFormulaire(m_ini, v);
        const ValeursFormulaire lu = lireFormulaire(m_ini);
        QCOMPARE(lu.motDePasse, texte);
        QCOMPARE(lu.ascii, texte);
        QCOMPARE(lu.dossierLocal, texte);
    }

    void ftpsKey_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<bool>("ftps");
        QTest::newRow("older file without the key") << QByteArray("Serveur=a\n") << false;
        QTest::newRow("on") << QByteArray("FTPS=1\n") << true;
        QTest::newRow("off") << QByteArray("FTPS=0\n") << false;
        QTest::newRow("empty") << QByteArray("FTPS=\n") << false;
        QTest::newRow("garbage") << QByteArray("FTPS=oui\n") << false;
    }
    void ftpsKey()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(bool, ftps);
        ecrireBrut(m_ini, "[Config]\n" + contenu);
        ValeursFormulaire v = lireFormulaire(m_ini);
        QCOMPARE(v.ftps, ftps);
        // Written back as a number, whatever the key held.
        v.ftps = !ftps;
        ecrireFormulaire(m_ini, v);
        QSettings s(m_ini, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/FTPS")).toString(),
                 ftps ? QStringLiteral("0") : QStringLiteral("1"));
    }

    void trustedFingerprintSurvivesTheForm()
    {
        const QString empreinte = QStringLiteral("AB:CD");
        ecrireEmpreinteFtps(m_ini, empreinte);
        ValeursFormulaire v;
        v.ftps = true;
        ecrireFormulaire(m_ini, v);
        ecrireDateDernierSucces(m_ini, 5);
        QCOMPARE(lireEmpreinteFtps(m_ini), empreinte);
        ecrireEmpreinteFtps(m_ini, QString());
        QCOMPARE(lireEmpreinteFtps(m_ini), QString());
    }

    void writingKeepsDateAndWritesFormKeys()
    {
        ecrireBrut(m_ini, "[Config]\nDate=1234567890\n");
        ValeursFormulaire v;
        v.minimise = true;
        v.portTexte = QStringLiteral("2121");
        ecrireFormulaire(m_ini, v);
        QSettings s(m_ini, QSettings::IniFormat);
        s.beginGroup(QStringLiteral("Config"));
        QStringList attendues{
            QStringLiteral("MiniChck"), QStringLiteral("ExcAnPrec"),  QStringLiteral("FTPS"),
            QStringLiteral("Serveur"),  QStringLiteral("Port"),       QStringLiteral("Utilisateur"),
            QStringLiteral("Pass"),     QStringLiteral("DosServeur"), QStringLiteral("DosLocal"),
            QStringLiteral("ascii"),    QStringLiteral("binaire"),    QStringLiteral("DosExclu"),
            QStringLiteral("Date")};
        QStringList cles = s.childKeys();
        cles.sort();
        attendues.sort();
        QCOMPARE(cles, attendues);
        QCOMPARE(s.value(QStringLiteral("Date")).toString(), QStringLiteral("1234567890"));
        QCOMPARE(s.value(QStringLiteral("MiniChck")).toInt(), 1);
        QCOMPARE(s.value(QStringLiteral("Port")).toString(), QStringLiteral("2121"));
    }

    void writingFormNeverWritesDate()
    {
        ValeursFormulaire v;
        v.portTexte = QStringLiteral("21");
        ecrireFormulaire(m_ini, v);
        QSettings s(m_ini, QSettings::IniFormat);
        QVERIFY(!s.contains(QStringLiteral("Config/Date")));
    }

    void dateOfLastSuccess_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<quint32>("attendu");
        const quint32 absente = 1700000000u;
        QTest::newRow("missing file") << QByteArray() << absente;
        QTest::newRow("missing key") << QByteArray("[Config]\nPort=21\n") << absente;
        QTest::newRow("value") << QByteArray("[Config]\nDate=1355000000\n") << 1355000000u;
        QTest::newRow("zero") << QByteArray("[Config]\nDate=0\n") << 0u;
        QTest::newRow("not a number") << QByteArray("[Config]\nDate=hier\n") << 0u;
        QTest::newRow("negative") << QByteArray("[Config]\nDate=-1\n") << 0u;
        QTest::newRow("largest count") << QByteArray("[Config]\nDate=4294967295\n") << 4294967295u;
        QTest::newRow("beyond 32 bits") << QByteArray("[Config]\nDate=4294967296\n") << 0u;
        QTest::newRow("empty") << QByteArray("[Config]\nDate=\n") << 0u;
    }
    void dateOfLastSuccess()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(quint32, attendu);
        if (!contenu.isEmpty())
            ecrireBrut(m_ini, contenu);
        QCOMPARE(lireDateComparaison(m_ini, 1700000000u), attendu);
    }

    void dateWrittenAs64BitDecimal()
    {
        ecrireDateDernierSucces(m_ini, Q_INT64_C(5000000000));
        QSettings s(m_ini, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Date")).toString(), QStringLiteral("5000000000"));
        ecrireDateDernierSucces(m_ini, 1355000000);
        QCOMPARE(lireDateComparaison(m_ini, 0), 1355000000u);
    }

    void writeCreatesMissingFolder()
    {
        const QString ini = m_dossier.filePath(QStringLiteral("a/b/Nuvola.ini"));
        ecrireDateDernierSucces(ini, 42);
        QCOMPARE(lireDateComparaison(ini, 0), 42u);
    }

    void unwritableFileIsReportedAndKept_data()
    {
        QTest::addColumn<bool>("dossierFerme");  // else the file itself is read-only
        QTest::addColumn<QByteArray>("contenu"); // empty: as the writers left it
        QTest::newRow("read-only file") << false << QByteArray();
        QTest::newRow("read-only folder") << true << QByteArray();
        // Such a file reads with FormatError, which hides how a write went.
        QTest::newRow("read-only malformed file")
            << false << QByteArray("[Config\nServeur=x\n[Config]\nDate=1000\n");
    }
    void unwritableFileIsReportedAndKept()
    {
#ifndef Q_OS_LINUX
        QSKIP("permissions that deny writing are tested on Linux");
#else
        QFETCH(bool, dossierFerme);
        QFETCH(QByteArray, contenu);
        ValeursFormulaire v;
        v.serveur = QStringLiteral("avant");
        v.portTexte = QStringLiteral("21");
        QVERIFY(ecrireFormulaire(m_ini, v));
        QVERIFY(ecrireDateDernierSucces(m_ini, 1000));
        if (!contenu.isEmpty()) {
            ecrireBrut(m_ini, contenu);
            QCOMPARE(QSettings(m_ini, QSettings::IniFormat).status(), QSettings::FormatError);
        }
        const QByteArray avant = lireBrut(m_ini);
        const QString cible = dossierFerme ? QFileInfo(m_ini).absolutePath() : m_ini;
        const QFile::Permissions droits = QFile::permissions(cible);
        const QFile::Permissions lecture =
            QFileDevice::ReadOwner |
            (dossierFerme ? QFileDevice::ExeOwner : QFileDevice::Permissions());
        QVERIFY(QFile::setPermissions(cible, lecture));
        const auto rendre = qScopeGuard([&] { QFile::setPermissions(cible, droits); });
        SansPasseDroit sansPasseDroit;
        QFile essai(m_ini);
        if (!sansPasseDroit.actif() || (!dossierFerme && essai.open(QIODevice::ReadWrite)))
            QSKIP("this process writes files whatever their permissions");

        QVERIFY(!ecrireDateDernierSucces(m_ini, 2000));
        v.serveur = QStringLiteral("après");
        QVERIFY(!ecrireFormulaire(m_ini, v));
        QVERIFY(!ecrireEmpreinteFtps(m_ini, QStringLiteral("AB:CD")));
        QCOMPARE(lireBrut(m_ini), avant);
        // Made read-only by its owner, the file is not made writable again
        // behind the user's back.
        QCOMPARE(QFile::permissions(cible) & (QFileDevice::WriteOwner | QFileDevice::WriteOther),
                 QFileDevice::Permissions());

        QFile::setPermissions(cible, droits);
        QVERIFY(ecrireDateDernierSucces(m_ini, 3000));
        QVERIFY(lireBrut(m_ini).contains("Date=3000"));
#endif
    }

    void fileIsPrivateToItsOwner()
    {
#ifdef Q_OS_UNIX
        ValeursFormulaire v;
        v.portTexte = QStringLiteral("21");
        ecrireFormulaire(m_ini, v);
        const auto autres = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                            QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(m_ini).permissions() & autres, QFileDevice::Permissions());
        // An existing file made readable by others is tightened again on rewrite.
        QFile::setPermissions(m_ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ReadOther);
        ecrireDateDernierSucces(m_ini, 1);
        QCOMPARE(QFileInfo(m_ini).permissions() & autres, QFileDevice::Permissions());
#else
        QSKIP("permissions are those of the user's profile folder on this system");
#endif
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
