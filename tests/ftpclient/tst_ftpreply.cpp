#include "ftpreplyparser.h"

#include <QList>
#include <QTest>

// Replies are written as "code|text" with "\n" between the lines of one reply.
using ReplyList = QStringList;

class TstFtpReply : public QObject
{
    Q_OBJECT

private:
    static ReplyList drain(FtpReplyParser &parser)
    {
        ReplyList out;
        while (parser.hasReply()) {
            const FtpReply r = parser.takeReply();
            out << QString::number(r.code) + QLatin1Char('|') + r.text;
        }
        return out;
    }

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<ReplyList>("expected");
        QTest::addColumn<bool>("valid");

        QTest::newRow("single line") << QByteArray("220 Welcome\r\n")
                                     << ReplyList{QStringLiteral("220|220 Welcome")} << true;
        QTest::newRow("bare LF accepted")
            << QByteArray("250 OK\n") << ReplyList{QStringLiteral("250|250 OK")} << true;
        QTest::newRow("code without text")
            << QByteArray("200\r\n") << ReplyList{QStringLiteral("200|200")} << true;
        QTest::newRow("two replies in one read")
            << QByteArray("331 Password\r\n230 Logged in\r\n")
            << ReplyList{QStringLiteral("331|331 Password"), QStringLiteral("230|230 Logged in")}
            << true;
        QTest::newRow("multi-line")
            << QByteArray("211-Features:\r\n UTF8\r\n EPSV\r\n211 End\r\n")
            << ReplyList{QStringLiteral("211|211-Features:\n UTF8\n EPSV\n211 End")} << true;
        QTest::newRow("multi-line with other codes inside")
            << QByteArray("230-Hello\r\n230-again\r\n220 not the end\r\n230 Done\r\n")
            << ReplyList{QStringLiteral("230|230-Hello\n230-again\n220 not the end\n230 Done")}
            << true;
        QTest::newRow("multi-line with empty and garbage inner lines")
            << QByteArray("220-Hi\r\n\r\n*** banner ***\r\n220 Ready\r\n")
            << ReplyList{QStringLiteral("220|220-Hi\n\n*** banner ***\n220 Ready")} << true;
        QTest::newRow("1xx then 2xx")
            << QByteArray("150 Opening data connection\r\n226 Transfer complete\r\n")
            << ReplyList{QStringLiteral("150|150 Opening data connection"),
                         QStringLiteral("226|226 Transfer complete")}
            << true;
        QTest::newRow("4xx") << QByteArray("421 Service not available\r\n")
                             << ReplyList{QStringLiteral("421|421 Service not available")} << true;
        QTest::newRow("5xx") << QByteArray("550 No such file or directory.\r\n")
                             << ReplyList{QStringLiteral("550|550 No such file or directory.")}
                             << true;
        QTest::newRow("UTF-8 text")
            << QByteArray("257 \"/m\xc3\xa9t\xc3\xa9o\" created\r\n")
            << ReplyList{QStringLiteral("257|257 \"/m\u00e9t\u00e9o\" created")} << true;
        // A French IIS answers in its code page, not in UTF-8.
        QTest::newRow("8-bit text")
            << QByteArray("550 Acc\xe8s refus\xe9.\r\n")
            << ReplyList{QStringLiteral("550|550 Acc\u00e8s refus\u00e9.")} << true;
        QTest::newRow("8-bit text inside a multi-line reply")
            << QByteArray("220-Bienvenue\r\n Serveur de l'\xe9t\xe9\r\n220 Pr\xeat\r\n")
            << ReplyList{QStringLiteral(
                   "220|220-Bienvenue\n Serveur de l'\u00e9t\u00e9\n220 Pr\u00eat")}
            << true;
        QTest::newRow("incomplete line kept back")
            << QByteArray("220 Welcome\r\n230 Lo") << ReplyList{QStringLiteral("220|220 Welcome")}
            << true;
        QTest::newRow("incomplete multi-line kept back")
            << QByteArray("211-Features:\r\n UTF8\r\n") << ReplyList{} << true;
        QTest::newRow("garbage") << QByteArray("hello there\r\n") << ReplyList{} << false;
        QTest::newRow("empty line") << QByteArray("\r\n") << ReplyList{} << false;
        QTest::newRow("two digits") << QByteArray("22 Hi\r\n") << ReplyList{} << false;
        QTest::newRow("first digit 6") << QByteArray("600 What\r\n") << ReplyList{} << false;
        QTest::newRow("first digit 0") << QByteArray("020 What\r\n") << ReplyList{} << false;
        QTest::newRow("no separator after code")
            << QByteArray("220Welcome\r\n") << ReplyList{} << false;
        QTest::newRow("reply kept before garbage")
            << QByteArray("220 Welcome\r\nxyz\r\n") << ReplyList{QStringLiteral("220|220 Welcome")}
            << false;
        QTest::newRow("line at the length bound")
            << QByteArray("200 ") + QByteArray(FtpReplyParser::MaxLineLength - 4, 'a') + "\r\n"
            << ReplyList{QStringLiteral("200|200 ") +
                         QString(FtpReplyParser::MaxLineLength - 4, QLatin1Char('a'))}
            << true;
        QTest::newRow("complete overlong line")
            << QByteArray("200 ") + QByteArray(FtpReplyParser::MaxLineLength, 'a') + "\r\n"
            << ReplyList{} << false;
        QTest::newRow("overlong line without end")
            << QByteArray("200 ") + QByteArray(FtpReplyParser::MaxLineLength * 2, 'a')
            << ReplyList{} << false;
        QByteArray endless = "211-start\r\n";
        for (int i = 0; i < FtpReplyParser::MaxReplyLines + 5; ++i)
            endless += " feature\r\n";
        QTest::newRow("endless multi-line") << endless << ReplyList{} << false;
    }

    void parse()
    {
        QFETCH(QByteArray, input);
        QFETCH(ReplyList, expected);
        QFETCH(bool, valid);

        FtpReplyParser whole;
        const bool wholeOk = whole.feed(input);
        QCOMPARE(wholeOk, valid);
        QCOMPARE(whole.hasError(), !valid);
        if (!valid)
            QVERIFY(!whole.errorString().isEmpty());
        QCOMPARE(drain(whole), expected);

        // The same bytes one at a time must give the same replies.
        FtpReplyParser bytewise;
        bool ok = true;
        ReplyList got;
        for (qsizetype i = 0; i < input.size() && ok; ++i) {
            ok = bytewise.feed(input.mid(i, 1));
            got += drain(bytewise);
        }
        QCOMPARE(ok, valid);
        QCOMPARE(got, expected);
    }

    void errorIsFinal()
    {
        FtpReplyParser parser;
        QVERIFY(!parser.feed("garbage\r\n"));
        QVERIFY(!parser.feed("220 Fine now\r\n"));
        QVERIFY(!parser.hasReply());
        parser.reset();
        QVERIFY(!parser.hasError());
        QVERIFY(parser.feed("220 Fine now\r\n"));
        QCOMPARE(parser.takeReply().code, 220);
    }

    void insideReply()
    {
        FtpReplyParser parser;
        QVERIFY(!parser.isInsideReply());
        QVERIFY(parser.feed("211-Feat\r\n"));
        QVERIFY(parser.isInsideReply());
        QVERIFY(parser.feed("211 End\r\n"));
        QVERIFY(!parser.isInsideReply());
        QVERIFY(parser.feed("22"));
        QVERIFY(parser.isInsideReply());
    }

    void classes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("preliminary");
        QTest::addColumn<bool>("completion");
        QTest::addColumn<bool>("intermediate");
        QTest::addColumn<bool>("negative");
        QTest::newRow("150") << 150 << true << false << false << false;
        QTest::newRow("226") << 226 << false << true << false << false;
        QTest::newRow("331") << 331 << false << false << true << false;
        QTest::newRow("426") << 426 << false << false << false << true;
        QTest::newRow("553") << 553 << false << false << false << true;
    }

    void classes()
    {
        QFETCH(int, code);
        FtpReply r{code, QString()};
        QTEST(r.isPreliminary(), "preliminary");
        QTEST(r.isCompletion(), "completion");
        QTEST(r.isIntermediate(), "intermediate");
        QTEST(r.isNegative(), "negative");
    }
};

QTEST_GUILESS_MAIN(TstFtpReply)
#include "tst_ftpreply.moc"
