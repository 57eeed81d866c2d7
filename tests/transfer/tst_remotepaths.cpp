#include "ftp/remotepaths.h"
#include "ftp/transfertype.h"

#include <QDir>
#include <QTest>

class TestRemotePaths : public QObject
{
    Q_OBJECT

private slots:
    void relativeFolder_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("relatif");
        const QString png = QStringLiteral("C:/Program Files/Pluvio/html/images/2013/pluie.png");
        QTest::newRow("deep") << png << QStringLiteral("C:/Program Files/Pluvio/html")
                              << QStringLiteral("/images/2013/");
        QTest::newRow("local with final slash")
            << png << QStringLiteral("C:/Program Files/Pluvio/html/")
            << QStringLiteral("images/2013/");
        // The listing gives paths in the form fromNativeSeparators makes of the
        // typed root: on Windows "\\" becomes "/", elsewhere it is a plain character.
        const QString tape = QStringLiteral("C:\\Program Files\\Pluvio\\html");
        QTest::newRow("typed with backslashes")
            << QDir::fromNativeSeparators(tape) + QStringLiteral("/images/2013/pluie.png") << tape
            << QStringLiteral("/images/2013/");
        QTest::newRow("root file") << QStringLiteral("/srv/site/index.htm")
                                   << QStringLiteral("/srv/site") << QStringLiteral("/");
        QTest::newRow("root file, final slash")
            << QStringLiteral("/srv/site/index.htm") << QStringLiteral("/srv/site/") << QString();
        // The listing spells the local folder's own files with one final "/"
        // less, and its sub-folders' files as typed.
        QTest::newRow("root file, two final slashes")
            << QStringLiteral("/srv/site/index.htm") << QStringLiteral("/srv/site//") << QString();
        QTest::newRow("deep, two final slashes")
            << QStringLiteral("/srv/site//images/a.png") << QStringLiteral("/srv/site//")
            << QStringLiteral("images/");
        QTest::newRow("other case keeps whole folder")
            << QStringLiteral("/srv/Site/a/b.htm") << QStringLiteral("/srv/site")
            << QStringLiteral("/srv/Site/a/");
        QTest::newRow("no suffix") << QStringLiteral("/srv/site/a/README")
                                   << QStringLiteral("/srv/site") << QStringLiteral("/a/");
        QTest::newRow("accented") << QStringLiteral("/srv/météo/été/août.htm")
                                  << QStringLiteral("/srv/météo") << QStringLiteral("/été/");
    }
    void relativeFolder()
    {
        QFETCH(QString, chemin);
        QFETCH(QString, local);
        QFETCH(QString, relatif);
        QCOMPARE(dossierRelatif(chemin, local), relatif);
    }

    void shownPath_data()
    {
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("affiche");
        QTest::newRow("plain") << QStringLiteral("C:/Program Files/Pluvio/html")
                               << QStringLiteral("/2007/mars.htm");
        QTest::newRow("final slash")
            << QStringLiteral("C:/Program Files/Pluvio/html/") << QStringLiteral("2007/mars.htm");
        QTest::newRow("two final slashes")
            << QStringLiteral("C:/Program Files/Pluvio/html//") << QStringLiteral("2007/mars.htm");
        QTest::newRow("other case") << QStringLiteral("c:/program files/pluvio/html")
                                    << QStringLiteral("C:/Program Files/Pluvio/html/2007/mars.htm");
    }
    void shownPath()
    {
        QFETCH(QString, local);
        QFETCH(QString, affiche);
        QCOMPARE(cheminAffiche(QStringLiteral("C:/Program Files/Pluvio/html/2007/mars.htm"), local),
                 affiche);
    }

    void serverBase_data()
    {
        QTest::addColumn<QString>("dossier");
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("changer");
        QTest::newRow("empty") << QString() << QStringLiteral("/") << false;
        QTest::newRow("slash") << QStringLiteral("/") << QStringLiteral("/") << false;
        QTest::newRow("backslash") << QStringLiteral("\\") << QStringLiteral("/") << false;
        QTest::newRow("www") << QStringLiteral("www") << QStringLiteral("/www") << true;
        QTest::newRow("www/") << QStringLiteral("www/") << QStringLiteral("/www") << true;
        QTest::newRow("/www") << QStringLiteral("/www") << QStringLiteral("/www") << true;
        QTest::newRow("nested, backslashes")
            << QStringLiteral("\\www\\meteo\\") << QStringLiteral("/www/meteo") << true;
        QTest::newRow("two slashes") << QStringLiteral("//") << QStringLiteral("/") << true;
    }
    void serverBase()
    {
        QFETCH(QString, dossier);
        QFETCH(QString, base);
        QFETCH(bool, changer);
        QCOMPARE(cheminBaseServeur(dossier), base);
        QCOMPARE(changerDeDossierApresConnexion(dossier), changer);
    }

    void levels_data()
    {
        QTest::addColumn<QString>("relatif");
        QTest::addColumn<QStringList>("niveaux");
        QTest::newRow("deep") << QStringLiteral("/images/2013/")
                              << QStringList{QString(), QStringLiteral("images"),
                                             QStringLiteral("2013")};
        QTest::newRow("root") << QStringLiteral("/") << QStringList{QString(), QString()};
        QTest::newRow("empty gives current") << QString() << QStringList{QStringLiteral(".")};
        QTest::newRow("no leading slash")
            << QStringLiteral("images/") << QStringList{QStringLiteral("images")};
        QTest::newRow("backslashes")
            << QStringLiteral("\\a\\b\\")
            << QStringList{QString(), QStringLiteral("a"), QStringLiteral("b")};
    }
    void levels()
    {
        QFETCH(QString, relatif);
        QFETCH(QStringList, niveaux);
        QCOMPARE(niveauxDossier(relatif), niveaux);
    }

    void walkedFolders_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("relatif");
        QTest::addColumn<QStringList>("niveaux");
        QTest::addColumn<QStringList>("chemins");
        const auto s = [](const char *t) { return QString::fromUtf8(t); };
        QTest::newRow("deep") << s("/www") << s("/images/2013/")
                              << QStringList{s("images"), s("2013")}
                              << QStringList{s("/www/images"), s("/www/images/2013")};
        QTest::newRow("from the root")
            << s("/") << s("/d/") << QStringList{s("d")} << QStringList{s("/d")};
        QTest::newRow("file in the local folder")
            << s("/www") << s("/") << QStringList() << QStringList();
        QTest::newRow("'.' stands for the base")
            << s("/www") << QString() << QStringList() << QStringList();
        QTest::newRow("no leading slash") << s("/www") << s("images/") << QStringList{s("images")}
                                          << QStringList{s("/www/images")};
        QTest::newRow("nested base, accents")
            << s("/www/météo") << s("/été/août/") << QStringList{s("été"), s("août")}
            << QStringList{s("/www/météo/été"), s("/www/météo/été/août")};
    }
    void walkedFolders()
    {
        QFETCH(QString, base);
        QFETCH(QString, relatif);
        QFETCH(QStringList, niveaux);
        QFETCH(QStringList, chemins);
        QCOMPARE(niveauxAParcourir(relatif), niveaux);
        QCOMPARE(cheminsDistants(base, niveaux), chemins);
    }

    void transferType_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QString>("binaire");
        QTest::addColumn<bool>("ascii");
        const QString liste = QStringLiteral("gif;jpg;png;");
        QTest::newRow("png") << QStringLiteral("a.png") << liste << false;
        QTest::newRow("PNG") << QStringLiteral("a.PNG") << liste << false;
        QTest::newRow("Jpg") << QStringLiteral("a.Jpg") << liste << false;
        QTest::newRow("htm") << QStringLiteral("a.htm") << liste << true;
        QTest::newRow("jpeg") << QStringLiteral("a.jpeg") << liste << true;
        QTest::newRow("zip") << QStringLiteral("a.zip") << liste << true;
        QTest::newRow("no suffix") << QStringLiteral("README") << liste << true;
        QTest::newRow("part of a suffix") << QStringLiteral("a.pn") << liste << false;
        QTest::newRow("one letter") << QStringLiteral("a.g") << liste << false;
        QTest::newRow("spans a separator") << QStringLiteral("a.f;j") << liste << false;
        QTest::newRow("last dot counts") << QStringLiteral("a.png.htm") << liste << true;
        QTest::newRow("dot in folder only") << QStringLiteral("/x.png/README") << liste << true;
        QTest::newRow("final dot") << QStringLiteral("a.") << liste << true;
        QTest::newRow("empty list") << QStringLiteral("a.png") << QString() << true;
    }
    void transferType()
    {
        QFETCH(QString, nom);
        QFETCH(QString, binaire);
        QFETCH(bool, ascii);
        QCOMPARE(
            estTransfertAscii(QStringLiteral("/site/d") +
                                  (nom.startsWith(QLatin1Char('/')) ? nom : QLatin1Char('/') + nom),
                              binaire),
            ascii);
    }
};

QTEST_GUILESS_MAIN(TestRemotePaths)
#include "tst_remotepaths.moc"
