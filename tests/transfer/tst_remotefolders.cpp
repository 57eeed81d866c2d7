// The remote folder walk of a run, read from the server's record of commands.
#include "runfixture.h"

#include <QTest>

namespace {

QStringList commandesDossier(const QStringList &commandes)
{
    QStringList dossiers;
    for (const QString &c : commandes)
        if (c.startsWith(QLatin1String("CWD ")) || c.startsWith(QLatin1String("MKD ")))
            dossiers << c;
    return dossiers;
}

} // namespace

class TestRemoteFolders : public QObject
{
    Q_OBJECT

private slots:
    void walk_data()
    {
        QTest::addColumn<QString>("dossierServeur");
        QTest::addColumn<QString>("finLocal"); // appended to the local folder's text
        QTest::addColumn<QString>("fichier");
        QTest::addColumn<QString>("existant"); // folders already on the server
        QTest::addColumn<QStringList>("attendu");
        QTest::addColumn<QString>("arrivee");
        const auto l = [](std::initializer_list<const char *> a) {
            QStringList r;
            for (const char *s : a)
                r << QString::fromUtf8(s);
            return r;
        };
        QTest::newRow("base empty, no change after login")
            << QString() << QString() << "d/x.htm" << QString()
            << l({"CWD /", "CWD d", "MKD d", "CWD d"}) << "d/x.htm";
        QTest::newRow("base slash") << "/" << QString() << "d/x.htm" << QString()
                                    << l({"CWD /", "CWD d", "MKD d", "CWD d"}) << "d/x.htm";
        QTest::newRow("base backslash") << "\\" << QString() << "d/x.htm" << QString()
                                        << l({"CWD /", "CWD d", "MKD d", "CWD d"}) << "d/x.htm";
        QTest::newRow("base with final slash")
            << "www/" << QString() << "d/x.htm" << "www"
            << l({"CWD www/", "CWD /www", "CWD d", "MKD d", "CWD d"}) << "www/d/x.htm";
        QTest::newRow("file in the local folder: no walk")
            << "www" << QString() << "x.htm" << "www" << l({"CWD www"}) << "www/x.htm";
        QTest::newRow("local typed with final slash: walk to '.'")
            << "www" << "/" << "x.htm" << "www" << l({"CWD www", "CWD /www", "CWD ."})
            << "www/x.htm";
        QTest::newRow("every level present: only CWD")
            << "www" << QString() << "d/e/x.htm" << "www/d/e"
            << l({"CWD www", "CWD /www", "CWD d", "CWD e"}) << "www/d/e/x.htm";
        QTest::newRow("accented levels")
            << "www" << QString() << "été/août/x.htm" << "www"
            << l({"CWD www", "CWD /www", "CWD été", "MKD été", "CWD été", "CWD août", "MKD août",
                  "CWD août"})
            << "www/été/août/x.htm";
    }
    void walk()
    {
        QFETCH(QString, dossierServeur);
        QFETCH(QString, finLocal);
        QFETCH(QString, fichier);
        QFETCH(QString, existant);
        QFETCH(QStringList, attendu);
        QFETCH(QString, arrivee);
        RunFixture f;
        QVERIFY(f.startServer());
        if (!existant.isEmpty())
            QVERIFY(makeDir(f.serveur.serverFilePath(existant)));
        QVERIFY(writeFile(f.local(fichier), "x\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("DosServeur"), dossierServeur},
                  {QStringLiteral("DosLocal"), f.local() + finLocal}});
        f.fenetre->transfert();
        QCOMPARE(commandesDossier(f.serveur.commands()), attendu);
        QCOMPARE(f.serveur.serverFileContent(arrivee), QByteArray("x\n"));
        QCOMPARE(f.fenetre->codeSortie(), 0);
    }

    void secondFileOfTheSameFolderSendsNoFolderCommand()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("d/a.htm")), "a\n", RunFixture::ilYa(10)));
        QVERIFY(writeFile(f.local(QStringLiteral("d/b.htm")), "b\n", RunFixture::ilYa(20)));
        f.ouvrir();
        f.fenetre->transfert();
        const QStringList c = f.serveur.commands();
        const int premier = c.indexOf(QStringLiteral("STOR a.htm"));
        const int second = c.indexOf(QStringLiteral("STOR b.htm"));
        QVERIFY(premier > 0 && second > premier);
        QCOMPARE(commandesDossier(c.mid(premier, second - premier)), QStringList());
    }

    void levelThatCannotBeCreatedIsWalkedAgainFromTheBase()
    {
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--refuse-mkd")}));
        QVERIFY(writeFile(f.local(QStringLiteral("d/x.htm")), "x\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        const QStringList c = f.serveur.commands();
        // Each of the five attempts starts from the base: the folder was never reached.
        QCOMPARE(c.count(QStringLiteral("CWD /www")), 5);
        QCOMPARE(c.count(QStringLiteral("MKD d")), 5);
        QVERIFY(!c.join(QLatin1Char('\n')).contains(QLatin1String("STOR")));
        QCOMPARE(f.journal().count(QStringLiteral("Erreur mkdir\n")), 5);
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
    }
};

QTEST_MAIN(TestRemoteFolders)
#include "tst_remotefolders.moc"
