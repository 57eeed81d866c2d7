// The remote folder walk of a run, read from the server's record of commands.
#include "runfixture.h"

#include <QTest>

namespace {

// The folder commands and the uploads, in the order the server got them: where
// each file went follows from the CWDs before its STOR.
QStringList commandesDossier(const QStringList &commandes)
{
    QStringList dossiers;
    for (const QString &c : commandes)
        if (c.startsWith(QLatin1String("CWD ")) || c.startsWith(QLatin1String("MKD ")) ||
            c.startsWith(QLatin1String("STOR ")))
            dossiers << c;
    return dossiers;
}

QStringList l(std::initializer_list<const char *> a)
{
    QStringList r;
    for (const char *s : a)
        r << QString::fromUtf8(s);
    return r;
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
        QTest::addColumn<QStringList>("fichiers");
        QTest::addColumn<QStringList>("existants"); // folders already on the server
        QTest::addColumn<QStringList>("options");   // of the test server
        QTest::addColumn<QStringList>("attendu");
        QTest::addColumn<QStringList>("arrivees"); // server paths, one per file; empty: none sent
        const QStringList aucun;

        // Base forms: the session enters the typed folder once; the walk then
        // goes by absolute paths under the base in its normalised form.
        QTest::newRow("base empty: no change after login, walk from the root")
            << QString() << QString() << l({"d/x.htm"}) << aucun << aucun
            << l({"CWD /d", "MKD /d", "CWD /d", "STOR x.htm"}) << l({"d/x.htm"});
        QTest::newRow("base slash")
            << "/" << QString() << l({"d/x.htm"}) << aucun << aucun
            << l({"CWD /d", "MKD /d", "CWD /d", "STOR x.htm"}) << l({"d/x.htm"});
        QTest::newRow("base backslash")
            << "\\" << QString() << l({"d/x.htm"}) << aucun << aucun
            << l({"CWD /d", "MKD /d", "CWD /d", "STOR x.htm"}) << l({"d/x.htm"});
        QTest::newRow("base www") << "www" << QString() << l({"d/x.htm"}) << aucun << aucun
                                  << l({"CWD www", "CWD /www/d", "MKD /www/d", "CWD /www/d",
                                        "STOR x.htm"})
                                  << l({"www/d/x.htm"});
        QTest::newRow("base with final slash")
            << "www/" << QString() << l({"d/x.htm"}) << aucun << aucun
            << l({"CWD www/", "CWD /www/d", "MKD /www/d", "CWD /www/d", "STOR x.htm"})
            << l({"www/d/x.htm"});
        QTest::newRow("base with leading slash")
            << "/www" << QString() << l({"d/x.htm"}) << aucun << aucun
            << l({"CWD /www", "CWD /www/d", "MKD /www/d", "CWD /www/d", "STOR x.htm"})
            << l({"www/d/x.htm"});
        QTest::newRow("nested base")
            << "www/meteo/" << QString() << l({"d/x.htm"}) << l({"www/meteo"}) << aucun
            << l({"CWD www/meteo/", "CWD /www/meteo/d", "MKD /www/meteo/d", "CWD /www/meteo/d",
                  "STOR x.htm"})
            << l({"www/meteo/d/x.htm"});

        QTest::newRow("nested base typed with backslashes")
            << "www\\meteo" << QString() << l({"d/x.htm"}) << l({"www/meteo"}) << aucun
            << l({"CWD www/meteo", "CWD /www/meteo/d", "MKD /www/meteo/d", "CWD /www/meteo/d",
                  "STOR x.htm"})
            << l({"www/meteo/d/x.htm"});

        // A server that does not shut the account in its home starts the
        // session there: the walks go under the folder PWD names.
        const QStringList ailleurs{QStringLiteral("--login-folder"),
                                   QStringLiteral("/home/nuvola")};
        QTest::newRow("login folder below the root, base www")
            << "www" << QString() << l({"x.htm", "d/y.htm"}) << l({"home/nuvola/www"}) << ailleurs
            << l({"CWD www", "STOR x.htm", "CWD /home/nuvola/www/d", "MKD /home/nuvola/www/d",
                  "CWD /home/nuvola/www/d", "STOR y.htm"})
            << l({"home/nuvola/www/x.htm", "home/nuvola/www/d/y.htm"});
        QTest::newRow("login folder below the root, base empty")
            << QString() << QString() << l({"x.htm", "d/y.htm"}) << l({"home/nuvola"}) << ailleurs
            << l({"STOR x.htm", "CWD /home/nuvola/d", "MKD /home/nuvola/d", "CWD /home/nuvola/d",
                  "STOR y.htm"})
            << l({"home/nuvola/x.htm", "home/nuvola/d/y.htm"});
        QTest::newRow("login folder below the root, base typed from the root")
            << "/www" << QString() << l({"x.htm", "d/y.htm"}) << l({"home/nuvola"}) << ailleurs
            << l({"CWD /www", "STOR x.htm", "CWD /www/d", "MKD /www/d", "CWD /www/d", "STOR y.htm"})
            << l({"www/x.htm", "www/d/y.htm"});

        QTest::newRow("server without PWD: the base as typed, from the root")
            << "www" << QString() << l({"d/x.htm"}) << aucun << l({"--no-pwd"})
            << l({"CWD www", "CWD /www/d", "MKD /www/d", "CWD /www/d", "STOR x.htm"})
            << l({"www/d/x.htm"});

        QTest::newRow("file in the local folder: no walk")
            << "www" << QString() << l({"x.htm"}) << aucun << aucun << l({"CWD www", "STOR x.htm"})
            << l({"www/x.htm"});
        QTest::newRow("local typed with final slash: already in the base")
            << "www"
            << "/" << l({"x.htm"}) << aucun << aucun << l({"CWD www", "STOR x.htm"})
            << l({"www/x.htm"});
        QTest::newRow("local typed with final slash, base empty: one CWD to the root")
            << QString() << "/" << l({"x.htm"}) << aucun << aucun << l({"CWD /", "STOR x.htm"})
            << l({"x.htm"});

        // A level made on the way down is not entered: the next MKD, or the
        // CWD into the last level, tells whether it is there.
        QTest::newRow("new nested folder")
            << "www" << QString() << l({"d/e/x.htm"}) << aucun << aucun
            << l({"CWD www", "CWD /www/d/e", "CWD /www/d", "MKD /www/d", "MKD /www/d/e",
                  "CWD /www/d/e", "STOR x.htm"})
            << l({"www/d/e/x.htm"});
        QTest::newRow("every level present: one CWD")
            << "www" << QString() << l({"d/e/x.htm"}) << l({"www/d/e"}) << aucun
            << l({"CWD www", "CWD /www/d/e", "STOR x.htm"}) << l({"www/d/e/x.htm"});
        QTest::newRow("folder on the server but not yet known")
            << "www" << QString() << l({"d/e/x.htm"}) << l({"www/d"}) << aucun
            << l({"CWD www", "CWD /www/d/e", "CWD /www/d", "MKD /www/d/e", "CWD /www/d/e",
                  "STOR x.htm"})
            << l({"www/d/e/x.htm"});
        // Folders are sent breadth first: d, then d/a, then d/b.
        QTest::newRow("sibling of a created folder: no probe")
            << "www" << QString() << l({"d/a/x.htm", "d/b/y.htm"}) << aucun << aucun
            << l({"CWD www", "CWD /www/d/a", "CWD /www/d", "MKD /www/d", "MKD /www/d/a",
                  "CWD /www/d/a", "STOR x.htm", "MKD /www/d/b", "CWD /www/d/b", "STOR y.htm"})
            << l({"www/d/a/x.htm", "www/d/b/y.htm"});
        QTest::newRow("known folder revisited: one CWD back into it")
            << "www" << QString() << l({"d/a.htm", "e/b.htm", "d/f/c.htm"}) << l({"www/d"}) << aucun
            << l({"CWD www", "CWD /www/d", "STOR a.htm", "CWD /www/e", "MKD /www/e", "CWD /www/e",
                  "STOR b.htm", "CWD /www/d/f", "MKD /www/d/f", "CWD /www/d/f", "STOR c.htm"})
            << l({"www/d/a.htm", "www/e/b.htm", "www/d/f/c.htm"});
        QTest::newRow("created folder revisited: its new child is not probed")
            << "www" << QString() << l({"d/a.htm", "e/b.htm", "d/f/c.htm"}) << aucun << aucun
            << l({"CWD www", "CWD /www/d", "MKD /www/d", "CWD /www/d", "STOR a.htm", "CWD /www/e",
                  "MKD /www/e", "CWD /www/e", "STOR b.htm", "MKD /www/d/f", "CWD /www/d/f",
                  "STOR c.htm"})
            << l({"www/d/a.htm", "www/e/b.htm", "www/d/f/c.htm"});
        QTest::newRow("accented levels")
            << "www" << QString() << l({"été/août/x.htm"}) << aucun << aucun
            << l({"CWD www", "CWD /www/été/août", "CWD /www/été", "MKD /www/été",
                  "MKD /www/été/août", "CWD /www/été/août", "STOR x.htm"})
            << l({"www/été/août/x.htm"});

        // Whatever MKD answers, the CWD after it decides (another client may
        // have made the folder). A level that cannot be made fails the file;
        // each attempt tries to make it again, without probing it first.
        QTest::newRow("MKD refused")
            << "www" << QString() << l({"d/e/x.htm"}) << l({"www/d"}) << l({"--refuse-mkd"})
            << l({"CWD www", "CWD /www/d/e", "CWD /www/d", "MKD /www/d/e", "CWD /www/d/e",
                  "MKD /www/d/e", "CWD /www/d/e", "MKD /www/d/e", "CWD /www/d/e", "MKD /www/d/e",
                  "CWD /www/d/e", "MKD /www/d/e", "CWD /www/d/e"})
            << aucun;
        // Session 1: FEAT, OPTS, USER, PASS, CWD www, CWD /www/d/e, CWD /www/d,
        // MKD /www/d, then the ninth or tenth command is lost. After the
        // reconnection the walk starts afresh: what the lost session made is
        // found again, not taken for granted.
        QTest::newRow("connection lost on the last MKD of a walk")
            << "www" << QString() << l({"d/e/x.htm"}) << aucun
            << l({"--drop-after", "10", "--fault-sessions", "1"})
            << l({"CWD www", "CWD /www/d/e", "CWD /www/d", "MKD /www/d", "MKD /www/d/e", "CWD www",
                  "CWD /www/d/e", "CWD /www/d", "MKD /www/d/e", "CWD /www/d/e", "STOR x.htm"})
            << l({"www/d/e/x.htm"});
        QTest::newRow("connection lost on the CWD after MKD")
            << "www" << QString() << l({"d/e/x.htm"}) << aucun
            << l({"--drop-after", "11", "--fault-sessions", "1"})
            << l({"CWD www", "CWD /www/d/e", "CWD /www/d", "MKD /www/d", "MKD /www/d/e",
                  "CWD /www/d/e", "CWD www", "CWD /www/d/e", "STOR x.htm"})
            << l({"www/d/e/x.htm"});
    }
    void walk()
    {
        QFETCH(QString, dossierServeur);
        QFETCH(QString, finLocal);
        QFETCH(QStringList, fichiers);
        QFETCH(QStringList, existants);
        QFETCH(QStringList, options);
        QFETCH(QStringList, attendu);
        QFETCH(QStringList, arrivees);
        RunFixture f;
        QVERIFY2(f.startServer(options), qPrintable(f.serveur.errorString()));
        for (const QString &d : existants)
            QVERIFY(makeDir(f.serveur.serverFilePath(d)));
        for (int i = 0; i < fichiers.size(); ++i)
            QVERIFY(writeFile(f.local(fichiers.at(i)), QByteArray::number(i) + '\n',
                              RunFixture::ilYa(10 + i)));
        f.ouvrir({{QStringLiteral("DosServeur"), dossierServeur},
                  {QStringLiteral("DosLocal"), f.local() + finLocal},
                  {QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QCOMPARE(commandesDossier(f.serveur.commands()), attendu);
        for (int i = 0; i < arrivees.size(); ++i)
            QCOMPARE(f.serveur.serverFileContent(arrivees.at(i)), QByteArray::number(i) + '\n');
        QCOMPARE(f.fenetre->codeSortie(), arrivees.isEmpty() ? 2 : 0);
        QCOMPARE(f.dateEnregistree() == QLatin1String("1000"), arrivees.isEmpty());
        // Asking the server where the session stands is no error to report,
        // whatever the server answers.
        QVERIFY(f.serveur.commands().contains(QStringLiteral("PWD")));
        if (!arrivees.isEmpty())
            QVERIFY2(!f.journal().contains(QStringLiteral("Erreur non identifiée")),
                     qPrintable(f.journal()));
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
        QCOMPARE(commandesDossier(c.mid(premier + 1, second - premier - 1)), QStringList());
    }

    void refusedLevelIsLoggedForEachAttempt()
    {
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--refuse-mkd")}));
        QVERIFY(writeFile(f.local(QStringLiteral("d/x.htm")), "x\n", RunFixture::ilYa(10)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        const QStringList c = f.serveur.commands();
        // Probed once; then each of the five attempts tries to create it and
        // to enter it.
        QCOMPARE(c.count(QStringLiteral("CWD /www/d")), 1 + 5);
        QCOMPARE(c.count(QStringLiteral("MKD /www/d")), 5);
        QVERIFY(!c.join(QLatin1Char('\n')).contains(QLatin1String("STOR")));
        QCOMPARE(f.journal().count(QStringLiteral("Erreur mkdir\n")), 5);
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
    }

    void newConnectionForgetsTheFolders()
    {
        // A folder created by the first run's connection: its level below was
        // known to be missing then, but the next connection learns afresh
        // (here another client has made it meanwhile).
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("d/a.htm")), "a\n", RunFixture::ilYa(100)));
        f.ouvrir();
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 0);
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/d/a.htm")), QByteArray("a\n"));
        QVERIFY(makeDir(f.serveur.serverFilePath(QStringLiteral("www/d/f"))));
        QVERIFY(writeFile(f.local(QStringLiteral("d/f/b.htm")), "b\n",
                          QDateTime::currentSecsSinceEpoch() + 5));
        f.serveur.clearCommands();
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 0);
        // Neither the created folder nor the place the old session stood in
        // are taken for granted: one absolute CWD, and no MKD.
        QCOMPARE(commandesDossier(f.serveur.commands()),
                 l({"CWD www", "CWD /www/d/f", "STOR b.htm"}));
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/d/f/b.htm")), QByteArray("b\n"));
    }
};

QTEST_MAIN(TestRemoteFolders)
#include "tst_remotefolders.moc"
