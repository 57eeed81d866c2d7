// Bad local input: no crash, no hang, nothing lost, and a French line where
// the user needs to know.
#include "../transfer/runfixture.h"
#include "config/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
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

#ifdef Q_OS_LINUX
// Root reads any file whatever its permissions: for the length of a case the
// calling thread gives up the two capabilities that let it, as a user's run
// would be without them. The uploads open their files on this thread.
class SansPasseDroit
{
public:
    SansPasseDroit()
    {
        if (::geteuid() != 0) {
            m_actif = true;
            return;
        }
        if (::syscall(SYS_capget, &m_entete, m_avant) != 0)
            return;
        __user_cap_data_struct apres[2] = {m_avant[0], m_avant[1]};
        apres[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_actif = ::syscall(SYS_capset, &m_entete, apres) == 0;
        m_rendre = m_actif;
    }
    ~SansPasseDroit()
    {
        if (m_rendre)
            ::syscall(SYS_capset, &m_entete, m_avant);
    }
    SansPasseDroit(const SansPasseDroit &) = delete;
    SansPasseDroit &operator=(const SansPasseDroit &) = delete;
    bool actif() const { return m_actif; }

private:
    __user_cap_header_struct m_entete{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_avant[2]{};
    bool m_actif = false;
    bool m_rendre = false;
};
#endif

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

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
        // or every later run would compare with "now" and send nothing.
        ecrireDateDernierSucces(settingsFilePath(), 1355000000);
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
