#include "ftppwdreply.h"

#include <QTest>

class TstFtpPwdReply : public QObject
{
    Q_OBJECT

private slots:
    void folder_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("folder");
        QTest::newRow("usual") << QStringLiteral(
                                      "257 \"/home/station/www\" is the current directory")
                               << QStringLiteral("/home/station/www");
        QTest::newRow("root") << QStringLiteral("257 \"/\"") << QStringLiteral("/");
        QTest::newRow("doubled quote inside")
            << QStringLiteral("257 \"/a \"\"b\"\"\" ok") << QStringLiteral("/a \"b\"");
        QTest::newRow("spaces and accents")
            << QStringLiteral("257 \"/m\u00e9t\u00e9o/mon site\" is cwd")
            << QStringLiteral("/m\u00e9t\u00e9o/mon site");
        QTest::newRow("only the first line of a multi-line reply")
            << QStringLiteral("257-\"/www\" is cwd\n257 \"/other\"") << QStringLiteral("/www");
        QTest::newRow("no quotes") << QStringLiteral("257 /www is cwd") << QString();
        QTest::newRow("no closing quote") << QStringLiteral("257 \"/www is cwd") << QString();
        QTest::newRow("drive path") << QStringLiteral("257 \"C:\\site\"") << QString();
        QTest::newRow("relative name") << QStringLiteral("257 \"www\"") << QString();
        QTest::newRow("empty name") << QStringLiteral("257 \"\"") << QString();
    }
    void folder()
    {
        QFETCH(QString, text);
        QTEST(FtpPwdReply::folder(text), "folder");
    }
};

QTEST_APPLESS_MAIN(TstFtpPwdReply)
#include "tst_ftppwdreply.moc"
