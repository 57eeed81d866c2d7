#include "ftppassivereply.h"

#include <QTest>

class TstFtpPassiveReply : public QObject
{
    Q_OBJECT

private slots:
    void pasv_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("usual") << QStringLiteral("227 Entering Passive Mode (127,0,0,1,195,80).")
                               << 195 * 256 + 80;
        QTest::newRow("foreign address, same port")
            << QStringLiteral("227 Entering Passive Mode (10,9,8,7,4,1)") << 4 * 256 + 1;
        QTest::newRow("no parentheses") << QStringLiteral("227 =127,0,0,1,0,21") << 21;
        QTest::newRow("code not read as h1") << QStringLiteral("227 1,2,3,4,5,6") << 5 * 256 + 6;
        QTest::newRow("number over 255") << QStringLiteral("227 (127,0,0,1,256,1)") << 0;
        QTest::newRow("five numbers") << QStringLiteral("227 (127,0,0,1,4)") << 0;
        QTest::newRow("seven numbers") << QStringLiteral("227 (127,0,0,1,4,1,9)") << 0;
        QTest::newRow("port zero") << QStringLiteral("227 (127,0,0,1,0,0)") << 0;
        QTest::newRow("nothing") << QStringLiteral("227 Entering Passive Mode") << 0;
        QTest::newRow("four digit number") << QStringLiteral("227 (1270,0,0,1,4,1)") << 0;
    }

    void pasv()
    {
        QFETCH(QString, text);
        QTEST(int(FtpPassiveReply::pasvPort(text)), "port");
    }

    void epsv_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("usual") << QStringLiteral("229 Entering Extended Passive Mode (|||6446|)")
                               << 6446;
        QTest::newRow("other delimiter") << QStringLiteral("229 ok (!!!2121!)") << 2121;
        QTest::newRow("mixed delimiters") << QStringLiteral("229 ok (|!|2121|)") << 0;
        QTest::newRow("port too large") << QStringLiteral("229 (|||65536|)") << 0;
        QTest::newRow("highest port") << QStringLiteral("229 (|||65535|)") << 65535;
        QTest::newRow("port zero") << QStringLiteral("229 (|||0|)") << 0;
        QTest::newRow("address given") << QStringLiteral("229 (|1|10.0.0.1|21|)") << 0;
        QTest::newRow("nothing") << QStringLiteral("229 Extended Passive") << 0;
        QTest::newRow("digit as delimiter") << QStringLiteral("229 (1112121)") << 0;
    }

    void epsv()
    {
        QFETCH(QString, text);
        QTEST(int(FtpPassiveReply::epsvPort(text)), "port");
    }
};

QTEST_GUILESS_MAIN(TstFtpPassiveReply)
#include "tst_ftppassivereply.moc"
