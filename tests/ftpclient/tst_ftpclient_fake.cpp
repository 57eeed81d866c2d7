// Protocol corners of FtpClient against the scripted in-process server.
#include "fakeftpserver.h"
#include "ftpclient.h"
#include "putsource.h"
#include "recorder.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>

namespace {

constexpr int Bound = 5000;

QStringList texts(const QList<QByteArray> &lines)
{
    QStringList out;
    for (const QByteArray &l : lines)
        out << QString::fromUtf8(l);
    return out;
}

// A loopback port nothing listens on any more.
quint16 portClosed()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QByteArray pasvReply(quint16 port)
{
    return "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(port / 256) + ',' +
           QByteArray::number(port % 256) + ")\r\n";
}

QByteArray pattern(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 7 + i / 251) & 0xff);
    return out;
}

} // namespace

class TstFtpClientFake : public QObject
{
    Q_OBJECT

private:
    // Connects and waits for the end of the connection command.
    static bool connectTo(FtpClient &client, Recorder &rec, FakeFtpServer &server)
    {
        const int before = rec.doneCount;
        client.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        if (!QTest::qWaitFor([&] { return rec.doneCount == before + 1; }, Bound))
            return false;
        return client.error() == FtpClient::NoError && client.state() == FtpClient::Connected;
    }

    static bool connectAndLogin(FtpClient &client, Recorder &rec, FakeFtpServer &server)
    {
        if (!connectTo(client, rec, server))
            return false;
        const int before = rec.doneCount;
        client.login(QStringLiteral("user"), QStringLiteral("pw"));
        if (!QTest::qWaitFor([&] { return rec.doneCount == before + 1; }, Bound))
            return false;
        return client.state() == FtpClient::LoggedIn;
    }

private slots:
    void connectGreetingForms_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("trickle");
        QTest::newRow("plain") << QByteArray("220 Ready\r\n") << false;
        QTest::newRow("byte by byte") << QByteArray("220 Ready\r\n") << true;
        QTest::newRow("120 then 220") << QByteArray("120 Wait a moment\r\n220 Ready\r\n") << false;
        QTest::newRow("120 then 220 byte by byte")
            << QByteArray("120 Wait\r\n220 Ready\r\n") << true;
        QTest::newRow("multi-line banner")
            << QByteArray("220-Welcome\r\n220-to the fake\r\n220 Ready\r\n") << true;
        QTest::newRow("bare LF") << QByteArray("220 Ready\n") << false;
    }

    void connectGreetingForms()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, trickle);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setGreeting(greeting);
        server.setTrickle(trickle);
        FtpClient client;
        Recorder rec(&client);
        const int id = client.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        QCOMPARE(id, 1);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QCOMPARE(rec.events, QStringList({QStringLiteral("start 1"), QStringLiteral("state 1"),
                                          QStringLiteral("state 2"), QStringLiteral("state 3"),
                                          QStringLiteral("end 1 ok"), QStringLiteral("done ok")}));
        QCOMPARE(client.state(), FtpClient::Connected);
        QCOMPARE(texts(server.commands()),
                 QStringList({QStringLiteral("FEAT"), QStringLiteral("OPTS UTF8 ON")}));
    }

    void featuresDecideOpts_data()
    {
        QTest::addColumn<QByteArray>("featReply");
        QTest::addColumn<QByteArray>("optsReply");
        QTest::addColumn<bool>("optsSent");
        QTest::newRow("FEAT unknown") << QByteArray("502 What?\r\n") << QByteArray() << false;
        QTest::newRow("no UTF8 listed")
            << QByteArray("211-Features:\r\n MDTM\r\n SIZE\r\n211 End\r\n") << QByteArray()
            << false;
        QTest::newRow("UTF8 in lower case") << QByteArray("211-Features:\r\n utf8\r\n211 End\r\n")
                                            << QByteArray("200 ok\r\n") << true;
        QTest::newRow("OPTS refused is ignored")
            << QByteArray("211-Features:\r\n UTF8\r\n211 End\r\n")
            << QByteArray("501 No such option\r\n") << true;
        QTest::newRow("UTF8 only as a word inside a line")
            << QByteArray("211-Features:\r\n LANG EN;UTF8\r\n211 End\r\n") << QByteArray() << false;
    }

    void featuresDecideOpts()
    {
        QFETCH(QByteArray, featReply);
        QFETCH(QByteArray, optsReply);
        QFETCH(bool, optsSent);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("FEAT", featReply);
        if (!optsReply.isEmpty())
            server.setReply("OPTS", optsReply);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectTo(client, rec, server));
        QCOMPARE(server.verbs().contains("OPTS"), optsSent);
        QVERIFY(!rec.lastDoneError);
    }

    void greetingFailures_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QString>("inError");
        QTest::newRow("421 refusal")
            << QByteArray("421 Too many users\r\n") << QStringLiteral("421 Too many users");
        QTest::newRow("garbage") << QByteArray("SSH-2.0-OpenSSH\r\n")
                                 << QStringLiteral("Malformed");
        QTest::newRow("garbage after 120")
            << QByteArray("120 soon\r\n**\r\n") << QStringLiteral("Malformed");
        QTest::newRow("endless line") << QByteArray(20000, 'x') << QStringLiteral("longer than");
    }

    void greetingFailures()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QString, inError);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setGreeting(greeting);
        FtpClient client;
        Recorder rec(&client);
        client.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QVERIFY(rec.lastDoneError);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(inError), qPrintable(client.errorString()));
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QCOMPARE(rec.events.last(2),
                 QStringList({QStringLiteral("end 1 fail"), QStringLiteral("done fail")}));
        QVERIFY(server.commands().isEmpty());
    }

    void connectionRefused()
    {
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        FtpClient client;
        Recorder rec(&client);
        client.connectToHost(QStringLiteral("127.0.0.1"), port);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QCOMPARE(client.error(), FtpClient::ConnectionRefused);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(rec.lastDoneError);
        // The next command needs a connection there is not.
        client.cd(QStringLiteral("x"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
    }

    void hostNotFound()
    {
        // An empty name fails in the resolver without any network query.
        FtpClient client;
        Recorder rec(&client);
        client.connectToHost(QString(), 21);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QCOMPARE(client.error(), FtpClient::HostNotFound);
        QCOMPARE(client.state(), FtpClient::Unconnected);
    }

    void noSignalInsideQueueingCall()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QCOMPARE(client.close(), 1);
        QCOMPARE(client.connectToHost(QStringLiteral("127.0.0.1"), server.port()), 2);
        QCOMPARE(client.login(), 3);
        QCOMPARE(client.cd(QStringLiteral("a")), 4);
        QCOMPARE(client.mkdir(QStringLiteral("b")), 5);
        QBuffer buffer;
        buffer.setData("x");
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(client.put(&buffer, QStringLiteral("f")), 6);
        QCOMPARE(client.close(), 7);
        QVERIFY(rec.events.isEmpty());
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(client.hasPendingCommands());
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QCOMPARE(rec.count(QStringLiteral("end")), 7);
        QCOMPARE(rec.count(QStringLiteral("end 7 ok")), 1);
        QCOMPARE(rec.startedCommands,
                 QList<FtpClient::Command>({FtpClient::Close, FtpClient::ConnectToHost,
                                            FtpClient::Login, FtpClient::Cd, FtpClient::Mkdir,
                                            FtpClient::Put, FtpClient::Close}));
        QCOMPARE(rec.finishedCommands, rec.startedCommands);
        QVERIFY(!client.hasPendingCommands());
        QCOMPARE(client.currentCommand(), FtpClient::None);
        QCOMPARE(client.currentId(), 0);
        QCOMPARE(server.storedData(), QByteArray("x"));
        QCOMPARE(client.state(), FtpClient::Unconnected);
    }

    void login_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("userReply");
        QTest::addColumn<QByteArray>("passReply");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<bool>("ok");
        QTest::newRow("user and password")
            << QStringLiteral("bob") << QStringLiteral("pw") << QByteArray() << QByteArray()
            << QStringList({QStringLiteral("USER bob"), QStringLiteral("PASS pw")}) << true;
        QTest::newRow("no password needed")
            << QStringLiteral("bob") << QStringLiteral("pw") << QByteArray("230 Welcome\r\n")
            << QByteArray() << QStringList({QStringLiteral("USER bob")}) << true;
        QTest::newRow("empty user is anonymous")
            << QString() << QString() << QByteArray() << QByteArray()
            << QStringList({QStringLiteral("USER anonymous"), QStringLiteral("PASS anonymous@")})
            << true;
        QTest::newRow("wrong password")
            << QStringLiteral("bob") << QStringLiteral("bad") << QByteArray()
            << QByteArray("530 Login incorrect.\r\n")
            << QStringList({QStringLiteral("USER bob"), QStringLiteral("PASS bad")}) << false;
        QTest::newRow("user refused")
            << QStringLiteral("eve") << QStringLiteral("x") << QByteArray("530 Not here\r\n")
            << QByteArray() << QStringList({QStringLiteral("USER eve")}) << false;
        QTest::newRow("account asked")
            << QStringLiteral("bob") << QStringLiteral("pw") << QByteArray()
            << QByteArray("332 Need account\r\n")
            << QStringList({QStringLiteral("USER bob"), QStringLiteral("PASS pw")}) << false;
        QTest::newRow("UTF-8 user name")
            << QStringLiteral("m\u00e9t\u00e9o") << QStringLiteral("pw") << QByteArray()
            << QByteArray()
            << QStringList({QStringLiteral("USER m\u00e9t\u00e9o"), QStringLiteral("PASS pw")})
            << true;
    }

    void login()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, userReply);
        QFETCH(QByteArray, passReply);
        QFETCH(bool, ok);
        FakeFtpServer server;
        QVERIFY(server.listen());
        if (!userReply.isEmpty())
            server.setReply("USER", userReply);
        if (!passReply.isEmpty())
            server.setReply("PASS", passReply);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectTo(client, rec, server));
        const int before = server.commands().size();
        client.login(user, password);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        QTEST(texts(server.commands().mid(before)), "sent");
        QCOMPARE(rec.lastDoneError, !ok);
        QCOMPARE(client.state(), ok ? FtpClient::LoggedIn : FtpClient::Connected);
        QCOMPARE(client.error(), ok ? FtpClient::NoError : FtpClient::UnknownError);
        if (!ok)
            QVERIFY(client.errorString().contains(
                QString::fromUtf8(passReply.isEmpty() ? userReply : passReply).trimmed()));
        QCOMPARE(rec.events.contains(QStringLiteral("state 4")), ok);
    }

    void folderCommands_data()
    {
        QTest::addColumn<bool>("mkdir");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<bool>("ok");
        QTest::newRow("cd") << false << QStringLiteral("www") << QByteArray()
                            << QStringLiteral("CWD www") << true;
        QTest::newRow("cd refused")
            << false << QStringLiteral("nope") << QByteArray("550 nope: No such directory\r\n")
            << QStringLiteral("CWD nope") << false;
        QTest::newRow("cd with space and accents")
            << false << QStringLiteral("/m\u00e9t\u00e9o 2013") << QByteArray()
            << QStringLiteral("CWD /m\u00e9t\u00e9o 2013") << true;
        QTest::newRow("mkdir") << true << QStringLiteral("2013") << QByteArray()
                               << QStringLiteral("MKD 2013") << true;
        QTest::newRow("mkdir refused")
            << true << QStringLiteral("2013") << QByteArray("550 Permission denied\r\n")
            << QStringLiteral("MKD 2013") << false;
        QTest::newRow("mkdir 4xx") << true << QStringLiteral("2013") << QByteArray("450 Busy\r\n")
                                   << QStringLiteral("MKD 2013") << false;
        QTest::newRow("multi-line refusal")
            << true << QStringLiteral("x") << QByteArray("550-Denied\r\n550 really\r\n")
            << QStringLiteral("MKD x") << false;
    }

    void folderCommands()
    {
        QFETCH(bool, mkdir);
        QFETCH(QString, name);
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        FakeFtpServer server;
        QVERIFY(server.listen());
        if (!reply.isEmpty())
            server.setReply(mkdir ? "MKD" : "CWD", reply);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        const int id = mkdir ? client.mkdir(name) : client.cd(name);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QTEST(QString::fromUtf8(server.commands().last()), "sent");
        QCOMPARE(rec.events.last(2),
                 QStringList({QStringLiteral("end %1 %2")
                                  .arg(id)
                                  .arg(ok ? QLatin1String("ok") : QLatin1String("fail")),
                              ok ? QStringLiteral("done ok") : QStringLiteral("done fail")}));
        QCOMPARE(client.error(), ok ? FtpClient::NoError : FtpClient::UnknownError);
        if (!ok) {
            const QString expected = QString::fromUtf8(reply).trimmed().replace(
                QStringLiteral("\r\n"), QStringLiteral("\n"));
            QCOMPARE(client.errorString(), expected);
        }
        QCOMPARE(client.state(), FtpClient::LoggedIn);
    }

    void failureDropsQueueButKeepsWhatSlotQueues()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("CWD", "550 No such folder\r\n");
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        const int failing = client.cd(QStringLiteral("missing"));
        client.mkdir(QStringLiteral("dropped1"));
        client.mkdir(QStringLiteral("dropped2"));
        int rescue = 0;
        connect(&client, &FtpClient::commandFinished, this, [&](int id, bool failed) {
            if (id == failing && failed) {
                QVERIFY(!client.hasPendingCommands());
                rescue = client.mkdir(QStringLiteral("rescue"));
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(rescue, failing + 3);
        QCOMPARE(rec.events.mid(rec.events.indexOf(QStringLiteral("end %1 fail").arg(failing))),
                 QStringList({QStringLiteral("end %1 fail").arg(failing),
                              QStringLiteral("start %1").arg(rescue),
                              QStringLiteral("end %1 ok").arg(rescue), QStringLiteral("done ok")}));
        QVERIFY(!server.commands().contains("MKD dropped1"));
        QVERIFY(!server.commands().contains("MKD dropped2"));
        QVERIFY(server.commands().contains("MKD rescue"));
    }

    void errorResetWhenCommandStarts()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("MKD", "550 No\r\n");
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        client.mkdir(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        client.cd(QStringLiteral("b"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(rec.errorsAtStart.last(), FtpClient::NoError);
        QCOMPARE(client.error(), FtpClient::NoError);
        QVERIFY(client.errorString().isEmpty());
    }

    void injectionRefused_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("text");
        const QString evil = QStringLiteral("x\r\nDELE victim");
        QTest::newRow("user CRLF") << 0 << evil;
        QTest::newRow("password LF") << 1 << QStringLiteral("pw\nDELE victim");
        QTest::newRow("cd CR") << 2 << QStringLiteral("a\rDELE victim");
        QTest::newRow("mkdir NUL")
            << 3 << (QStringLiteral("a") + QChar(0) + QStringLiteral("DELE victim"));
        QTest::newRow("put name CRLF") << 4 << evil;
    }

    void injectionRefused()
    {
        QFETCH(int, which);
        QFETCH(QString, text);
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        buffer.setData("content");
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        switch (which) {
        case 0:
            client.login(text, QStringLiteral("pw"));
            break;
        case 1:
            client.login(QStringLiteral("u"), text);
            break;
        case 2:
            client.cd(text);
            break;
        case 3:
            client.mkdir(text);
            break;
        default:
            client.put(&buffer, text);
            break;
        }
        client.cd(QStringLiteral("after"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY(client.errorString().contains(QStringLiteral("line break")));
        // The queue behind the refused command went with it; the connection
        // itself is still fine.
        client.cd(QStringLiteral("later"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QVERIFY(!server.rawReceived().contains("DELE"));
        QVERIFY(!server.rawReceived().contains("victim"));
        QVERIFY(!server.commands().contains("CWD after"));
        QCOMPARE(server.commands().last(), QByteArray("CWD later"));
    }

    void injectionInHost()
    {
        FtpClient client;
        Recorder rec(&client);
        client.connectToHost(QStringLiteral("127.0.0.1\r\nUSER x"), 21);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY(!rec.events.contains(QStringLiteral("state 1")));
    }

    // Whatever follows the 234 in the same clear-text read could have been
    // put there on the way; taken in, it would pass for the first replies of
    // the protected channel. A legitimate 234, even cut or multi-line, leads
    // to the handshake.
    void clearTextAfterAuthTls_data()
    {
        QTest::addColumn<QByteArray>("authReply");
        QTest::addColumn<bool>("trickle");
        QTest::addColumn<bool>("handshake");
        QTest::newRow("a reply after 234")
            << QByteArray("234 Proceed\r\n211 End\r\n") << false << false;
        QTest::newRow("a multi-line reply begun after 234")
            << QByteArray("234 Proceed\r\n211-Features:\r\n MLST size*;\r\n") << false << false;
        QTest::newRow("a line begun after 234")
            << QByteArray("234 Proceed\r\n211") << false << false;
        QTest::newRow("234 alone") << QByteArray("234 Proceed\r\n") << false << true;
        QTest::newRow("234 one byte at a time") << QByteArray("234 Proceed\r\n") << true << true;
        QTest::newRow("multi-line 234")
            << QByteArray("234-Proceed\r\n234 with TLS\r\n") << false << true;
    }

    void clearTextAfterAuthTls()
    {
        QFETCH(QByteArray, authReply);
        QFETCH(bool, trickle);
        QFETCH(bool, handshake);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("AUTH", authReply);
        server.setTrickle(trickle);
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        const QByteArray auth = "AUTH TLS\r\n";
        if (handshake) {
            // A TLS record (0x16, handshake) follows the command.
            QVERIFY(
                QTest::qWaitFor([&] { return server.rawReceived().size() > auth.size(); }, Bound));
            QCOMPARE(server.rawReceived().left(auth.size()), auth);
            QCOMPARE(server.rawReceived().at(auth.size()), char(0x16));
            client.abort();
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        QVERIFY(rec.lastDoneError);
        QCOMPARE(client.tlsFailure(), FtpClient::TlsHandshakeFailed);
        QVERIFY2(client.errorString().contains(QStringLiteral("clear text")),
                 qPrintable(client.errorString()));
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QTest::qWait(50);
        QCOMPARE(server.rawReceived(), auth);
    }

    void putContent_data()
    {
        QTest::addColumn<QList<QByteArray>>("features");
        QTest::addColumn<QByteArray>("pasvAddress");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("passiveVerb");
        QTest::addColumn<bool>("fromFile");
        // Each case from memory and from a file: the program sends small
        // files from a copy in memory, larger ones from the disk.
        const auto row = [](const char *name, const QList<QByteArray> &features,
                            const QByteArray &pasv, int type, const QByteArray &content,
                            const QByteArray &stored, const QString &verb) {
            for (const bool fromFile : {false, true})
                QTest::addRow("%s%s", name, fromFile ? " (file)" : "")
                    << features << pasv << type << content << stored << verb << fromFile;
        };
        const QByteArray local("127,0,0,1");
        const QString pasv = QStringLiteral("PASV");
        const QByteArray big = pattern(3 * 1024 * 1024 + 17);
        row("binary over PASV", {}, local, FtpClient::Binary, "a\nb\r\n", "a\nb\r\n", pasv);
        row("PASV names a foreign address", {}, "203,0,113,9", FtpClient::Binary, "payload",
            "payload", pasv);
        row("binary over EPSV", {"EPSV"}, local, FtpClient::Binary, "xyz", "xyz",
            QStringLiteral("EPSV"));
        row("ASCII turns LF into CRLF", {}, local, FtpClient::Ascii, "l1\nl2\r\nl3\n",
            "l1\r\nl2\r\nl3\r\n", pasv);
        row("empty file", {}, local, FtpClient::Binary, QByteArray(), QByteArray(), pasv);
        row("several chunks", {}, local, FtpClient::Binary, big, big, pasv);
        QByteArray text;
        for (int i = 0; i < 200000; ++i)
            text += (i % 2) ? "line\r\n" : "line\n";
        // CRLF pairs cut by chunk boundaries must not be doubled.
        QByteArray expectedText = text;
        expectedText.replace("\r\n", "\n").replace("\n", "\r\n");
        row("ASCII over several chunks", {}, local, FtpClient::Ascii, text, expectedText, pasv);
    }

    void putContent()
    {
        QFETCH(QList<QByteArray>, features);
        QFETCH(QByteArray, pasvAddress);
        QFETCH(int, type);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, stored);
        QFETCH(QString, passiveVerb);
        QFETCH(bool, fromFile);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setFeatures(features);
        server.setPasvAddress(pasvAddress);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        QTemporaryFile file;
        QIODevice *device = putSource(fromFile, content, buffer, file);
        QVERIFY(device);
        const int before = server.commands().size();
        client.put(device, QStringLiteral("f\u00e9.txt"), FtpClient::TransferType(type));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound * 2);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(server.storedData().size(), stored.size());
        QVERIFY(server.storedData() == stored);
        QCOMPARE(texts(server.commands().mid(before)),
                 QStringList({type == FtpClient::Ascii ? QStringLiteral("TYPE A")
                                                       : QStringLiteral("TYPE I"),
                              passiveVerb, QStringLiteral("STOR f\u00e9.txt")}));
        QCOMPARE(server.dataConnectionCount(), 1);
        if (!content.isEmpty()) {
            QVERIFY(!rec.progress.isEmpty());
            QCOMPARE(rec.progress.last(),
                     qMakePair(qint64(content.size()), qint64(content.size())));
            for (qsizetype i = 1; i < rec.progress.size(); ++i)
                QVERIFY(rec.progress[i].first > rec.progress[i - 1].first);
        }
    }

    void epsvRefusedFallsBackToPasv()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setFeatures({"EPSV"});
        server.setReply("EPSV", "500 EPSV not understood\r\n");
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer a, b;
        a.setData("one");
        b.setData("two");
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(b.open(QIODevice::ReadOnly));
        client.put(&a, QStringLiteral("a"));
        client.put(&b, QStringLiteral("b"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(server.storedData(), QByteArray("two"));
        // Once refused, EPSV is not tried again on this connection.
        QCOMPARE(server.verbs().count("EPSV"), 1);
        QCOMPARE(server.verbs().count("PASV"), 2);
    }

    void typeSentOnlyWhenItChanges()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QList<QBuffer *> buffers;
        const QList<FtpClient::TransferType> types{FtpClient::Binary, FtpClient::Binary,
                                                   FtpClient::Ascii, FtpClient::Ascii,
                                                   FtpClient::Binary};
        for (FtpClient::TransferType t : types) {
            auto *buffer = new QBuffer(this);
            buffer->setData("data");
            QVERIFY(buffer->open(QIODevice::ReadOnly));
            buffers << buffer;
            client.put(buffer, QStringLiteral("f"), t);
        }
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QStringList typeLines;
        for (const QByteArray &line : server.commands())
            if (line.startsWith("TYPE"))
                typeLines << QString::fromUtf8(line);
        QCOMPARE(typeLines, QStringList({QStringLiteral("TYPE I"), QStringLiteral("TYPE A"),
                                         QStringLiteral("TYPE I")}));
        // A new connection forgets the type.
        QVERIFY(connectAndLogin(client, rec, server));
        buffers.first()->seek(0);
        client.put(buffers.first(), QStringLiteral("g"), FtpClient::Binary);
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 6, Bound);
        QCOMPARE(server.verbs().count("TYPE"), 4);
        qDeleteAll(buffers);
    }

    void putFailures_data()
    {
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("inError");
        QTest::newRow("TYPE refused")
            << QByteArray("TYPE") << QByteArray("504 No\r\n") << QStringLiteral("504 No");
        QTest::newRow("PASV refused") << QByteArray("PASV") << QByteArray("425 No passive\r\n")
                                      << QStringLiteral("425 No passive");
        QTest::newRow("PASV unreadable")
            << QByteArray("PASV") << QByteArray("227 Passive somewhere\r\n")
            << QStringLiteral("data port");
        QTest::newRow("STOR refused") << QByteArray("STOR") << QByteArray("553 Not allowed\r\n")
                                      << QStringLiteral("553 Not allowed");
        QTest::newRow("STOR 1xx then refusal")
            << QByteArray("STOR") << QByteArray("150 Go\r\n452 Disk full\r\n")
            << QStringLiteral("452 Disk full");
    }

    void putFailures()
    {
        QFETCH(QByteArray, verb);
        QFETCH(QByteArray, reply);
        QFETCH(QString, inError);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply(verb, reply);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        buffer.setData(pattern(4 * 1024 * 1024));
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        client.put(&buffer, QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(inError), qPrintable(client.errorString()));
        QVERIFY(server.storedData().size() < buffer.size());
        // The control connection stays usable.
        client.cd(QStringLiteral("next"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(server.commands().last(), QByteArray("CWD next"));
    }

    void putDeviceProblems_data()
    {
        QTest::addColumn<int>("problem");
        QTest::newRow("null device") << 0;
        QTest::newRow("device not open") << 1;
        QTest::newRow("device write-only") << 2;
        QTest::newRow("empty name") << 3;
    }

    void putDeviceProblems()
    {
        QFETCH(int, problem);
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        if (problem == 2)
            QVERIFY(buffer.open(QIODevice::WriteOnly));
        if (problem == 3)
            QVERIFY(buffer.open(QIODevice::ReadOnly));
        const int before = server.commands().size();
        client.put(problem == 0 ? nullptr : &buffer,
                   problem == 3 ? QString() : QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY(!client.errorString().isEmpty());
        QCOMPARE(server.commands().size(), before);
    }

    void dataConnectionRefused()
    {
        const quint16 closedPort = portClosed();
        QVERIFY(closedPort != 0);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("PASV", pasvReply(closedPort));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        buffer.setData("data");
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        client.put(&buffer, QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(QStringLiteral("Data connection")),
                 qPrintable(client.errorString()));
        QVERIFY(!server.verbs().contains("STOR"));
        client.cd(QStringLiteral("next"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
    }

    void laterDataConnectionRefusedClosesConnection_data()
    {
        QTest::addColumn<QByteArray>("afterPasv");
        QTest::newRow("refusal seen first") << QByteArray();
        // Glued to the 227, the 1xx is read before the refusal can be.
        QTest::newRow("1xx seen first") << QByteArray("150 Opening data connection\r\n");
    }

    // Once a data connection has worked, the STOR goes out beside the next
    // one; when that one then fails, the server is left waiting for it, so
    // the client closes the connection rather than guess what comes next,
    // at once, not after waiting for a final reply that may never come.
    void laterDataConnectionRefusedClosesConnection()
    {
        QFETCH(QByteArray, afterPasv);
        const quint16 closedPort = portClosed();
        QVERIFY(closedPort != 0);
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        client.setProtocolTimeout(6 * Bound);
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        const QByteArray first = pattern(300 * 1024);
        QBuffer buffer;
        buffer.setData(first);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        client.put(&buffer, QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QTRY_COMPARE_WITH_TIMEOUT(server.storedData(), first, Bound);

        // The second STOR is answered at once, maybe before the client has
        // seen its data connection: the content must still arrive whole.
        const QByteArray second = pattern(200 * 1024).mid(7);
        QBuffer buffer2;
        buffer2.setData(second);
        QVERIFY(buffer2.open(QIODevice::ReadOnly));
        client.put(&buffer2, QStringLiteral("g"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QTRY_COMPARE_WITH_TIMEOUT(server.storedData(), second, Bound);

        server.setReply("PASV", pasvReply(closedPort) + afterPasv);
        QVERIFY(buffer.seek(0));
        client.put(&buffer, QStringLiteral("h"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 5, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QVERIFY2(client.errorString().contains(QStringLiteral("Data connection")),
                 qPrintable(client.errorString()));
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QCOMPARE(server.verbs().count("STOR"), 3);

        // A new connection proves its data path again before any STOR.
        QVERIFY(connectAndLogin(client, rec, server));
        QVERIFY(buffer.seek(0));
        client.put(&buffer, QStringLiteral("i"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 8, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QCOMPARE(server.verbs().count("STOR"), 3);
        QCOMPARE(client.state(), FtpClient::LoggedIn);
    }

    void deviceDestroyedDuringTransfer()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        auto *buffer = new QBuffer;
        buffer->setData(pattern(32 * 1024 * 1024));
        QVERIFY(buffer->open(QIODevice::ReadOnly));
        connect(&client, &FtpClient::dataTransferProgress, this, [&buffer] {
            delete buffer;
            buffer = nullptr;
        });
        client.put(buffer, QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(QStringLiteral("destroyed")),
                 qPrintable(client.errorString()));
        // The transfer was ended with ABOR, whose replies are consumed.
        QTRY_VERIFY_WITH_TIMEOUT(server.verbs().contains("ABOR"), Bound);
        server.setReply("CWD", "550 Missing\r\n");
        client.cd(QStringLiteral("next"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.errorString(), QStringLiteral("550 Missing"));
        QCOMPARE(client.state(), FtpClient::LoggedIn);
    }

    void dataConnectionDropped()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setDataDropAfter(100000);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        buffer.setData(pattern(8 * 1024 * 1024));
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        client.put(&buffer, QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(QStringLiteral("426")),
                 qPrintable(client.errorString()));
        client.cd(QStringLiteral("next"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
    }

    void brokenTransferWithoutFinalReply()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setDataDropAfter(100000, QByteArray());
        FtpClient client;
        client.setProtocolTimeout(300);
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        buffer.setData(pattern(8 * 1024 * 1024));
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        client.put(&buffer, QStringLiteral("f"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(QStringLiteral("Data connection")),
                 qPrintable(client.errorString()));
        // STOR's answer is still owed: the channel is out of step, so the next
        // command ends the connection instead of reading a wrong reply.
        client.cd(QStringLiteral("next"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(!server.verbs().contains("CWD"));
    }

    void abortTransferKeepsChannelInStep_data()
    {
        QTest::addColumn<QByteArray>("storFinal");
        QTest::addColumn<QByteArray>("aborReply");
        QTest::addColumn<QByteArray>("cwdReply");
        QTest::addColumn<bool>("cdOk");
        // The fake answers ABOR during a transfer with 426 then 226.
        QTest::newRow("426 then 226, cd refused")
            << QByteArray() << QByteArray() << QByteArray("550 Missing\r\n") << false;
        QTest::newRow("426 then 226, cd fine")
            << QByteArray() << QByteArray() << QByteArray("250 In\r\n") << true;
        QTest::newRow("STOR 226 then ABOR 225, cd refused")
            << QByteArray("226 Complete\r\n") << QByteArray("225 Nothing\r\n")
            << QByteArray("550 Missing\r\n") << false;
        QTest::newRow("ABOR answered in one block with 426 226")
            << QByteArray("426 Broken\r\n") << QByteArray("226 Abort done\r\n")
            << QByteArray("550 Missing\r\n") << false;
    }

    void abortTransferKeepsChannelInStep()
    {
        QFETCH(QByteArray, storFinal);
        QFETCH(QByteArray, aborReply);
        QFETCH(QByteArray, cwdReply);
        QFETCH(bool, cdOk);
        FakeFtpServer server;
        QVERIFY(server.listen());
        if (!storFinal.isEmpty())
            server.setStorFinal(storFinal);
        if (!aborReply.isEmpty())
            server.setReply("ABOR", aborReply);
        server.setReply("CWD", cwdReply);
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QBuffer buffer;
        buffer.setData(pattern(64 * 1024 * 1024));
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const int put = client.put(&buffer, QStringLiteral("big"));
        QTRY_VERIFY_WITH_TIMEOUT(!rec.progress.isEmpty(), Bound);
        client.abort();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(rec.events.last(2), QStringList({QStringLiteral("end %1 fail").arg(put),
                                                  QStringLiteral("done fail")}));
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY(client.errorString().contains(QStringLiteral("Abort")));
        QTRY_VERIFY_WITH_TIMEOUT(server.verbs().contains("ABOR"), Bound);
        client.cd(QStringLiteral("next"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), cdOk ? FtpClient::NoError : FtpClient::UnknownError);
        if (!cdOk)
            QCOMPARE(client.errorString(), QStringLiteral("550 Missing"));
        QCOMPARE(client.state(), FtpClient::LoggedIn);
        QVERIFY(server.storedData().size() < buffer.size());
    }

    void abortedCommandsLateReplyIsConsumed()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("CWD", QByteArray());
        server.setReply("MKD", "550 Refused\r\n");
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QSignalSpy received(&server, &FakeFtpServer::commandReceived);
        client.cd(QStringLiteral("slow"));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, Bound);
        client.abort();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        client.mkdir(QStringLiteral("d"));
        // The reply of the aborted CWD comes only now; it must not pass for
        // MKD's, nor may MKD go out before it.
        QTRY_COMPARE_WITH_TIMEOUT(client.currentCommand(), FtpClient::Mkdir, Bound);
        QCOMPARE(server.verbs().count("MKD"), 0);
        server.send("250 Late\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QCOMPARE(client.errorString(), QStringLiteral("550 Refused"));
    }

    void strayReplyNeverComes()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("CWD", QByteArray());
        FtpClient client;
        client.setProtocolTimeout(300);
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QSignalSpy received(&server, &FakeFtpServer::commandReceived);
        client.cd(QStringLiteral("slow"));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, Bound);
        client.abort();
        client.mkdir(QStringLiteral("d"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QCOMPARE(server.verbs().count("MKD"), 0);
    }

    void abortThenCloseRunsClose()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("CWD", QByteArray());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        QSignalSpy received(&server, &FakeFtpServer::commandReceived);
        const int cd = client.cd(QStringLiteral("slow"));
        client.mkdir(QStringLiteral("dropped"));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, Bound);
        rec.events.clear();
        client.abort();
        const int close = client.close();
        QVERIFY(rec.events.isEmpty());
        server.send("250 Late\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(rec.events,
                 QStringList({QStringLiteral("end %1 fail").arg(cd),
                              QStringLiteral("start %1").arg(close), QStringLiteral("state 5"),
                              QStringLiteral("state 0"), QStringLiteral("end %1 ok").arg(close),
                              QStringLiteral("done ok")}));
        QVERIFY(server.verbs().contains("QUIT"));
        QVERIFY(!server.verbs().contains("MKD"));
    }

    void abortWhileConnecting_data()
    {
        QTest::addColumn<int>("abortIn");
        QTest::newRow("host lookup") << int(FtpClient::HostLookup);
        QTest::newRow("TCP connection") << int(FtpClient::Connecting);
        QTest::newRow("greeting awaited") << int(FtpClient::Connected);
    }

    void abortWhileConnecting()
    {
        QFETCH(int, abortIn);
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setGreeting(QByteArray());
        FtpClient client;
        Recorder rec(&client);
        // On loopback the lookup and the TCP connection end at once: abort
        // from the state change itself.
        QMetaObject::Connection hook;
        if (abortIn != FtpClient::Connected)
            hook = connect(&client, &FtpClient::stateChanged, this, [&](int s) {
                if (s == abortIn)
                    client.abort();
            });
        client.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        if (abortIn == FtpClient::Connected) {
            QTRY_VERIFY_WITH_TIMEOUT(server.hasClient(), Bound);
            client.abort();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 1, Bound);
        disconnect(hook);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QCOMPARE(rec.events.last(3),
                 QStringList({QStringLiteral("state 0"), QStringLiteral("end 1 fail"),
                              QStringLiteral("done fail")}));
        QVERIFY(!rec.events.contains(QStringLiteral("state 3")));
        QTRY_VERIFY_WITH_TIMEOUT(!server.hasClient(), Bound);
        // The same object connects again.
        server.setGreeting("220 Now\r\n");
        QVERIFY(connectTo(client, rec, server));
    }

    void abortWhenIdleDoesNothing()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        client.abort();
        QVERIFY(connectTo(client, rec, server));
        const QStringList before = rec.events;
        client.abort();
        client.cd(QStringLiteral("x"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        QCOMPARE(rec.events.mid(before.size()),
                 QStringList({QStringLiteral("start 2"), QStringLiteral("end 2 ok"),
                              QStringLiteral("done ok")}));
        QCOMPARE(client.error(), FtpClient::NoError);
    }

    void abortBeforeStartDropsQueue()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectTo(client, rec, server));
        rec.events.clear();
        client.cd(QStringLiteral("a"));
        client.cd(QStringLiteral("b"));
        client.abort();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        QCOMPARE(rec.events, QStringList({QStringLiteral("done fail")}));
        QVERIFY(!server.verbs().contains("CWD"));
    }

    void abortFromSlots()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        const int first = client.cd(QStringLiteral("a"));
        client.cd(QStringLiteral("b"));
        connect(&client, &FtpClient::commandStarted, this, [&](int id) {
            if (id == first)
                client.abort();
        });
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(rec.count(QStringLiteral("end %1 fail").arg(first)), 1);
        QCOMPARE(rec.count(QStringLiteral("done")), 3);
        QVERIFY(!server.commands().contains("CWD b"));
        // Nothing more comes later.
        client.mkdir(QStringLiteral("m"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(rec.count(QStringLiteral("done")), 4);
    }

    void abortFromStateChangeAtLogin()
    {
        // The login's last reply arrives and the state change it causes is
        // answered by abort() and a new command: the login ends once, as
        // aborted, and the new command runs.
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectTo(client, rec, server));
        int queued = 0;
        connect(&client, &FtpClient::stateChanged, this, [&](int s) {
            if (s == FtpClient::LoggedIn && queued == 0) {
                client.abort();
                queued = client.cd(QStringLiteral("after"));
            }
        });
        const int login = client.login();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        QCOMPARE(rec.count(QStringLiteral("end %1").arg(login)), 1);
        QCOMPARE(rec.count(QStringLiteral("end %1 fail").arg(login)), 1);
        QCOMPARE(rec.events.last(3),
                 QStringList({QStringLiteral("start %1").arg(queued),
                              QStringLiteral("end %1 ok").arg(queued), QStringLiteral("done ok")}));
        QCOMPARE(server.commands().last(), QByteArray("CWD after"));
    }

    void lostConnection_data()
    {
        QTest::addColumn<QByteArray>("dropOn");
        QTest::addColumn<int>("command");
        QTest::newRow("during cd") << QByteArray("CWD") << int(FtpClient::Cd);
        QTest::newRow("during login") << QByteArray("PASS") << int(FtpClient::Login);
        QTest::newRow("during put passive") << QByteArray("PASV") << int(FtpClient::Put);
        QTest::newRow("during put STOR") << QByteArray("STOR") << int(FtpClient::Put);
    }

    void lostConnection()
    {
        QFETCH(QByteArray, dropOn);
        QFETCH(int, command);
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectTo(client, rec, server));
        if (command != FtpClient::Login) {
            client.login();
            QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        }
        server.setDropOn(dropOn);
        QBuffer buffer;
        buffer.setData(pattern(1000));
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        if (command == FtpClient::Cd)
            client.cd(QStringLiteral("x"));
        else if (command == FtpClient::Login)
            client.login(QStringLiteral("u"), QStringLiteral("p"));
        else
            client.put(&buffer, QStringLiteral("f"));
        client.mkdir(QStringLiteral("dropped"));
        const int target = rec.doneCount + 1;
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, target, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QCOMPARE(rec.finishedCommands.last(), FtpClient::Command(command));
        // Every later command but a connection fails the same way.
        client.mkdir(QStringLiteral("m"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, target + 1, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
        server.setDropOn(QByteArray());
        QVERIFY(connectTo(client, rec, server));
        QCOMPARE(server.connectionCount(), 2);
        client.login();
        client.mkdir(QStringLiteral("m"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, target + 3, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(server.commands().last(), QByteArray("MKD m"));
    }

    void lossWhileIdle()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        server.dropClient();
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), FtpClient::Unconnected, Bound);
        QCOMPARE(rec.events.last(), QStringLiteral("state 0"));
        client.cd(QStringLiteral("x"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::NotConnected);
    }

    void malformedReplyMidSession()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("CWD", "25O Typo in the code\r\n");
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        client.cd(QStringLiteral("x"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY(client.errorString().contains(QStringLiteral("Malformed")));
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QTRY_VERIFY_WITH_TIMEOUT(!server.hasClient(), Bound);
    }

    void unsolicitedReplyIgnored()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        // A stray positive reply right behind the login's own.
        server.setReply("PASS", "230 Logged in\r\n200 Out of the blue\r\n");
        server.setReply("MKD", "550 Nope\r\n");
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        client.mkdir(QStringLiteral("x"));
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(client.errorString(), QStringLiteral("550 Nope"));
    }

    void closeSequence()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        rec.events.clear();
        client.close();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 3, Bound);
        QCOMPARE(rec.events, QStringList({QStringLiteral("start 3"), QStringLiteral("state 5"),
                                          QStringLiteral("state 0"), QStringLiteral("end 3 ok"),
                                          QStringLiteral("done ok")}));
        QCOMPARE(server.verbs().last(), QByteArray("QUIT"));
        // Closing again, unconnected, simply succeeds.
        client.close();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 4, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(rec.count(QStringLiteral("state")), 2);
    }

    void closeWithSilentServer()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        server.setReply("QUIT", QByteArray());
        FtpClient client;
        client.setProtocolTimeout(300);
        Recorder rec(&client);
        QVERIFY(connectTo(client, rec, server));
        client.close();
        QTRY_COMPARE_WITH_TIMEOUT(rec.doneCount, 2, Bound);
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QTRY_VERIFY_WITH_TIMEOUT(!server.hasClient(), Bound);
    }

    void connectWhileConnectedReplacesConnection()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(connectAndLogin(client, rec, server));
        rec.events.clear();
        QVERIFY(connectTo(client, rec, server));
        QCOMPARE(rec.events, QStringList({QStringLiteral("start 3"), QStringLiteral("state 0"),
                                          QStringLiteral("state 1"), QStringLiteral("state 2"),
                                          QStringLiteral("state 3"), QStringLiteral("end 3 ok"),
                                          QStringLiteral("done ok")}));
        QCOMPARE(server.connectionCount(), 2);
        QVERIFY(!server.verbs().contains("QUIT"));
    }

    void deleteFromSlot()
    {
        FakeFtpServer server;
        QVERIFY(server.listen());
        QPointer<FtpClient> client = new FtpClient;
        QSignalSpy finished(client.data(), &FtpClient::commandFinished);
        connect(client.data(), &FtpClient::commandFinished, this,
                [&client] { delete client.data(); });
        client->connectToHost(QStringLiteral("127.0.0.1"), server.port());
        client->cd(QStringLiteral("x"));
        QTRY_VERIFY_WITH_TIMEOUT(client.isNull(), Bound);
        QCOMPARE(finished.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!server.hasClient(), Bound);
    }
};

QTEST_GUILESS_MAIN(TstFtpClientFake)
#include "tst_ftpclient_fake.moc"
