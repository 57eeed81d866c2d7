// The order of the uploads: each folder's files grouped by transfer type.
#include "ftp/sendorder.h"

#include <QTest>

class TestSendOrder : public QObject
{
    Q_OBJECT

private slots:
    void grouping_data()
    {
        QTest::addColumn<QStringList>("fichiers");
        QTest::addColumn<QStringList>("attendu");
        const QString r = QStringLiteral("/site/");
        const auto l = [&r](std::initializer_list<const char *> noms) {
            QStringList liste;
            for (const char *n : noms)
                liste << r + QString::fromUtf8(n);
            return liste;
        };

        QTest::newRow("empty") << QStringList() << QStringList();
        QTest::newRow("one file") << l({"a.htm"}) << l({"a.htm"});
        QTest::newRow("one type: order kept")
            << l({"c.htm", "a.htm", "b.txt"}) << l({"c.htm", "a.htm", "b.txt"});
        QTest::newRow("mixed folder: the first file's type first, order kept in each group")
            << l({"a.htm", "b.png", "c.htm", "d.gif", "e.htm"})
            << l({"a.htm", "c.htm", "e.htm", "b.png", "d.gif"});
        QTest::newRow("next folder starts with the type the last one ended on")
            << l({"a.png", "b.htm", "d/a.png", "d/b.htm", "e/a.png", "e/b.htm"})
            << l({"a.png", "b.htm", "d/b.htm", "d/a.png", "e/a.png", "e/b.htm"});
        QTest::newRow("a folder of one type carries its type on")
            << l({"a.htm", "b.png", "d/x.png", "e/a.htm", "e/b.png"})
            << l({"a.htm", "b.png", "d/x.png", "e/b.png", "e/a.htm"});
        // A sub-folder is a folder of its own, even between files of its parent.
        QTest::newRow("folder runs are not merged") << l({"a.htm", "d/x.png", "b.png", "c.htm"})
                                                    << l({"a.htm", "d/x.png", "b.png", "c.htm"});
        QTest::newRow("no suffix and upper case follow the type rules")
            << l({"LISEZMOI", "photo.PNG", "page.htm"}) << l({"LISEZMOI", "page.htm", "photo.PNG"});
        QTest::newRow("same name in two folders stays in its folder")
            << l({"d/a.htm", "d/a.png", "e/a.png", "e/a.htm"})
            << l({"d/a.htm", "d/a.png", "e/a.png", "e/a.htm"});
    }
    void grouping()
    {
        QFETCH(QStringList, fichiers);
        QFETCH(QStringList, attendu);
        const QStringList ordre = grouperParType(fichiers, QStringLiteral("gif;jpg;png;bin;"));
        QCOMPARE(ordre, attendu);
    }

    void nothingLostNorDoubledOnALargeMixedList()
    {
        QStringList fichiers;
        for (int i = 0; i < 3000; ++i)
            fichiers << QStringLiteral("/s/d%1/f%2.%3")
                            .arg(i / 7)
                            .arg(i)
                            .arg(QLatin1String(i % 3 ? "htm" : "png"));
        QStringList ordre = grouperParType(fichiers, QStringLiteral("png"));
        int changements = 0;
        for (int i = 1; i < ordre.size(); ++i)
            changements += ordre.at(i).endsWith(QLatin1String("png")) !=
                           ordre.at(i - 1).endsWith(QLatin1String("png"));
        // Every folder of seven holds both types: one change in each.
        QCOMPARE(changements, (3000 + 6) / 7);
        ordre.sort();
        fichiers.sort();
        QCOMPARE(ordre, fichiers);
    }
};

QTEST_MAIN(TestSendOrder)
#include "tst_sendorder.moc"
