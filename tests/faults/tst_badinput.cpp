// Bad local input: no crash, no hang, nothing lost, and a French line where
// the user needs to know.
#include "../transfer/runfixture.h"
#include "config/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

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
