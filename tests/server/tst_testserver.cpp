#include "rawftpcontrol.h"
#include "testftpserver.h"
#include "testtree.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int waitMs = 5000;

class ControlChannel : public RawFtpControl
{
public:
    ControlChannel() : RawFtpControl(socket) {}

    bool login(const TestFtpServer &server)
    {
        return reply().startsWith(QLatin1String("220")) &&
               command("USER " + server.user().toUtf8()).startsWith(QLatin1String("331")) &&
               command("PASS " + server.password().toUtf8()).startsWith(QLatin1String("230"));
    }

    // Bytes received but not part of any reply read so far.
    QByteArray unread()
    {
        buffer += socket.readAll();
        return buffer;
    }

private:
    QTcpSocket socket;
};

QByteArray sampleData(int size)
{
    QByteArray data;
    data.reserve(size);
    for (int i = 0; i < size; ++i)
        data.append(static_cast<char>((i * 7 + i / 251) & 0xff));
    return data;
}

// Logs in, opens the data connection of an EPSV and sends the STOR: true once
// the server's 1xx lets the upload begin.
bool beginUpload(const TestFtpServer &server, ControlChannel &control, QTcpSocket &dataSocket,
                 const QByteArray &name)
{
    if (!control.open(server.host(), server.port()) || !control.login(server))
        return false;
    const quint16 dataPort = extendedPassivePort(control.command("EPSV"));
    if (dataPort == 0)
        return false;
    dataSocket.connectToHost(server.host(), dataPort);
    if (!QTest::qWaitFor([&] { return dataSocket.state() == QAbstractSocket::ConnectedState; },
                         waitMs))
        return false;
    return control.command("STOR " + name).startsWith(QLatin1Char('1'));
}

} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private slots:
    void startFailure_data();
    void startFailure();
    void login_data();
    void login();
    void sessionsAndClear();
    void replyOrder_data();
    void replyOrder();
    void dropAfter_data();
    void dropAfter();
    void faultSessions();
    void dropRateRepeatable();
    void makeDirectory_data();
    void makeDirectory();
    void passiveModes_data();
    void passiveModes();
    void store_data();
    void store();
    void stallOnCommand();
    void stallStorAfter();
    void readLimit();
    void loopbackIpv6();
    void serverFilePath_data();
    void serverFilePath();
    void treeFiles_data();
    void treeFiles();
    void treeLinksAndFolders();
    void temporaryDataHome();
};

void TestServer::startFailure_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown switch") << QStringList{QStringLiteral("--no-such-switch")};
    QTest::newRow("non-loopback host")
        << QStringList{QStringLiteral("--host"), QStringLiteral("192.0.2.1")};
    QTest::newRow("drop rate above one")
        << QStringList{QStringLiteral("--drop-rate"), QStringLiteral("1.5")};
    QTest::newRow("negative delay")
        << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("-5")};
    QTest::newRow("negative read limit")
        << QStringList{QStringLiteral("--read-limit"), QStringLiteral("-1")};
}

void TestServer::startFailure()
{
    QFETCH(QStringList, args);
    TestFtpServer server;
    QVERIFY(!server.start(args));
    QVERIFY(!server.isRunning());
    QVERIFY(!server.errorString().isEmpty());
    QCOMPARE(server.port(), quint16(0));
}

void TestServer::login_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("code");
    QTest::newRow("right account")
        << QByteArray("nuvola") << QByteArray("secret") << QStringLiteral("230");
    QTest::newRow("wrong password")
        << QByteArray("nuvola") << QByteArray("wrong") << QStringLiteral("530");
    QTest::newRow("unknown user") << QByteArray("nobody") << QByteArray("secret")
                                  << QStringLiteral("530");
    QTest::newRow("password with spaces")
        << QByteArray("nuvola") << QByteArray("se cr et") << QStringLiteral("530");
}

void TestServer::login()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(QString, code);
    TestFtpServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QFileInfo(server.rootPath()).isDir());

    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.command("USER " + user).startsWith(QLatin1String("331 ")));
    QCOMPARE(control.command("PASS " + password).left(3), code);

    // The log holds each command once, as sent, with the password hidden.
    const QStringList expected{QStringLiteral("USER ") + QString::fromUtf8(user),
                               QStringLiteral("PASS ****")};
    QTRY_COMPARE_WITH_TIMEOUT(server.commands(), expected, waitMs);
    QCOMPARE(server.sessions(), QList<int>{1});
}

void TestServer::sessionsAndClear()
{
    TestFtpServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    {
        ControlChannel first;
        QVERIFY(first.open(server.host(), server.port()));
        QVERIFY(first.login(server));
        QVERIFY(first.command("NOOP").startsWith(QLatin1String("200")));
        ControlChannel second;
        QVERIFY(second.open(server.host(), server.port()));
        QVERIFY(second.login(server));
        QVERIFY(second.command("SYST").startsWith(QLatin1String("215")));
    }
    QCOMPARE(server.sessions(), (QList<int>{1, 2}));
    QCOMPARE(server.commandsOfSession(1),
             (QStringList{QStringLiteral("USER nuvola"), QStringLiteral("PASS ****"),
                          QStringLiteral("NOOP")}));
    QCOMPARE(server.commandsOfSession(2).last(), QStringLiteral("SYST"));
    QVERIFY(server.commandsOfSession(3).isEmpty());

    server.clearCommands();
    QVERIFY(server.commands().isEmpty());
    ControlChannel third;
    QVERIFY(third.open(server.host(), server.port()));
    QVERIFY(third.login(server));
    QCOMPARE(server.sessions(), QList<int>{3});
    QCOMPARE(server.commands().size(), 2);
}

void TestServer::replyOrder_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("immediate replies") << QStringList{};
    QTest::newRow("delayed replies")
        << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("40")};
    QTest::newRow("delayed replies and accepts")
        << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("15"),
                       QStringLiteral("--accept-delay"), QStringLiteral("15")};
}

void TestServer::replyOrder()
{
    QFETCH(QStringList, args);
    TestFtpServer server;
    QVERIFY2(server.start(args), qPrintable(server.errorString()));
    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    // All at once: delayed replies must still come back one per command, in
    // order, the multi-line FEAT reply whole.
    control.send("USER nuvola\r\nPASS secret\r\nPWD\r\nFEAT\r\nMKD d\r\nNOOP\r\nSYST\r\nQUIT");
    const QStringList expected{QStringLiteral("220"), QStringLiteral("331"), QStringLiteral("230"),
                               QStringLiteral("257"), QStringLiteral("211"), QStringLiteral("257"),
                               QStringLiteral("200"), QStringLiteral("215"), QStringLiteral("221")};
    QStringList codes;
    for (qsizetype i = 0; i < expected.size(); ++i)
        codes.append(control.reply().left(3));
    QCOMPARE(codes, expected);
    QVERIFY(control.waitClosed());
    QVERIFY(QFileInfo(server.serverFilePath(QStringLiteral("d"))).isDir());
}

void TestServer::dropAfter_data()
{
    QTest::addColumn<int>("dropAt");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("at USER") << 1 << QStringList{};
    QTest::newRow("at PASS") << 2 << QStringList{};
    QTest::newRow("at PWD") << 3 << QStringList{};
    QTest::newRow("at NOOP") << 4 << QStringList{};
    QTest::newRow("at PWD, replies delayed")
        << 3 << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("30")};
}

void TestServer::dropAfter()
{
    QFETCH(int, dropAt);
    QFETCH(QStringList, args);
    TestFtpServer server;
    QVERIFY2(
        server.start(QStringList{QStringLiteral("--drop-after"), QString::number(dropAt)} + args),
        qPrintable(server.errorString()));
    const QList<QByteArray> sent{"USER nuvola", "PASS secret", "PWD", "NOOP", "SYST"};
    const QStringList codes{QStringLiteral("331"), QStringLiteral("230"), QStringLiteral("257"),
                            QStringLiteral("200"), QStringLiteral("215")};

    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220")));
    for (int i = 0; i < dropAt - 1; ++i)
        QCOMPARE(control.command(sent.at(i)).left(3), codes.at(i));
    QCOMPARE(control.command(sent.at(dropAt - 1)), QString());
    QVERIFY(control.waitClosed());
    QVERIFY(control.unread().isEmpty());

    QStringList logged;
    for (int i = 0; i < dropAt; ++i)
        logged.append(i == 1 ? QStringLiteral("PASS ****") : QString::fromUtf8(sent.at(i)));
    QCOMPARE(server.commands(), logged);
}

void TestServer::faultSessions()
{
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--drop-after"), QStringLiteral("2"),
                           QStringLiteral("--fault-sessions"), QStringLiteral("1")}),
             qPrintable(server.errorString()));
    ControlChannel first;
    QVERIFY(first.open(server.host(), server.port()));
    QVERIFY(!first.login(server));
    QVERIFY(first.waitClosed());

    ControlChannel second;
    QVERIFY(second.open(server.host(), server.port()));
    QVERIFY(second.login(server));
    QVERIFY(second.command("NOOP").startsWith(QLatin1String("200")));
    QCOMPARE(server.sessions(), (QList<int>{1, 2}));
}

void TestServer::dropRateRepeatable()
{
    const auto pattern = [](const QString &seed, const QString &rate) {
        QStringList outcome;
        TestFtpServer server;
        if (!server.start(
                {QStringLiteral("--drop-seed"), seed, QStringLiteral("--drop-rate"), rate}))
            return QStringList{server.errorString()};
        for (int session = 0; session < 8; ++session) {
            ControlChannel control;
            if (!control.open(server.host(), server.port()) ||
                !control.reply().startsWith(QLatin1String("220"))) {
                outcome.append(QStringLiteral("no greeting"));
                continue;
            }
            const QList<QByteArray> sent{"USER nuvola", "PASS secret", "NOOP",
                                         "NOOP",        "NOOP",        "NOOP"};
            QString result = QStringLiteral("complete");
            for (qsizetype i = 0; i < sent.size(); ++i) {
                if (control.command(sent.at(i)).isEmpty()) {
                    result = QStringLiteral("dropped at %1").arg(i + 1);
                    break;
                }
            }
            outcome.append(result);
        }
        return outcome;
    };

    const QStringList first = pattern(QStringLiteral("11"), QStringLiteral("0.2"));
    QCOMPARE(first.size(), 8);
    QCOMPARE(pattern(QStringLiteral("11"), QStringLiteral("0.2")), first);
    QVERIFY2(first.contains(QStringLiteral("complete")), qPrintable(first.join(u',')));
    QVERIFY2(first.filter(QStringLiteral("dropped")).size() > 0, qPrintable(first.join(u',')));
    QCOMPARE(pattern(QStringLiteral("11"), QStringLiteral("0")),
             QStringList(8, QStringLiteral("complete")));
}

void TestServer::makeDirectory_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("code");
    QTest::newRow("allowed") << QStringList{} << QStringLiteral("257");
    QTest::newRow("refused") << QStringList{QStringLiteral("--refuse-mkd")}
                             << QStringLiteral("550");
}

void TestServer::makeDirectory()
{
    QFETCH(QStringList, args);
    QFETCH(QString, code);
    TestFtpServer server;
    QVERIFY2(server.start(args), qPrintable(server.errorString()));
    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.login(server));
    QCOMPARE(control.command("MKD météo").left(3), code);
    QCOMPARE(QFileInfo(server.serverFilePath(QStringLiteral("météo"))).isDir(),
             code == QLatin1String("257"));
    QCOMPARE(server.commands().last(), QStringLiteral("MKD météo"));
}

void TestServer::passiveModes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("epsvCode");
    QTest::addColumn<bool>("featListsEpsv");
    QTest::addColumn<QString>("pasvAddress");
    QTest::newRow("defaults") << QStringList{} << QStringLiteral("229") << true
                              << QStringLiteral("127,0,0,1,");
    QTest::newRow("no EPSV") << QStringList{QStringLiteral("--no-epsv")} << QStringLiteral("500")
                             << false << QStringLiteral("127,0,0,1,");
    QTest::newRow("announced address")
        << QStringList{QStringLiteral("--pasv-address"), QStringLiteral("127.0.0.2")}
        << QStringLiteral("229") << true << QStringLiteral("127,0,0,2,");
}

void TestServer::passiveModes()
{
    QFETCH(QStringList, args);
    QFETCH(QString, epsvCode);
    QFETCH(bool, featListsEpsv);
    QFETCH(QString, pasvAddress);
    TestFtpServer server;
    QVERIFY2(server.start(args), qPrintable(server.errorString()));
    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.login(server));

    control.send("FEAT");
    QTRY_VERIFY_WITH_TIMEOUT(control.unread().contains("211 End"), waitMs);
    QCOMPARE(control.unread().contains("\r\n EPSV\r\n"), featListsEpsv);
    QVERIFY(control.reply().startsWith(QLatin1String("211 ")));

    QCOMPARE(control.command("EPSV").left(3), epsvCode);
    const QString pasv = control.command("PASV");
    QVERIFY2(pasv.startsWith(QLatin1String("227 ")), qPrintable(pasv));
    QVERIFY2(pasv.contains(QLatin1Char('(') + pasvAddress), qPrintable(pasv));
}

void TestServer::store_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("firstCode"); // the reply to STOR itself
    QTest::addColumn<QString>("finalCode"); // after the data; "-" none and closed, "" none
    QTest::addColumn<int>("storedBytes");   // -1: no file
    const int size = 200000;
    QTest::newRow("plain") << QStringList{} << QStringLiteral("1") << QStringLiteral("226") << size;
    QTest::newRow("replies delayed")
        << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("30")} << QStringLiteral("1")
        << QStringLiteral("226") << size;
    QTest::newRow("accepts delayed")
        << QStringList{QStringLiteral("--accept-delay"), QStringLiteral("100")}
        << QStringLiteral("1") << QStringLiteral("226") << size;
    QTest::newRow("disk full") << QStringList{QStringLiteral("--disk-full")} << QStringLiteral("1")
                               << QStringLiteral("452") << 0;
    QTest::newRow("disk full, 552") << QStringList{QStringLiteral("--disk-full=552")}
                                    << QStringLiteral("1") << QStringLiteral("552") << 0;
    QTest::newRow("refused") << QStringList{QStringLiteral("--refuse-stor")}
                             << QStringLiteral("553") << QString() << -1;
    QTest::newRow("dropped in transfer")
        << QStringList{QStringLiteral("--drop-in-transfer"), QStringLiteral("1000")}
        << QStringLiteral("1") << QStringLiteral("-") << 1000;
    QTest::newRow("dropped before any byte")
        << QStringList{QStringLiteral("--drop-in-transfer"), QStringLiteral("0")}
        << QStringLiteral("1") << QStringLiteral("-") << 0;
    QTest::newRow("final reply stalled")
        << QStringList{QStringLiteral("--stall-on"), QStringLiteral("STOR")} << QStringLiteral("1")
        << QString() << size;
    QTest::newRow("faults spared in later sessions")
        << QStringList{QStringLiteral("--refuse-stor"), QStringLiteral("--fault-sessions"),
                       QStringLiteral("0")}
        << QStringLiteral("1") << QStringLiteral("226") << size;
}

void TestServer::store()
{
    QFETCH(QStringList, args);
    QFETCH(QString, firstCode);
    QFETCH(QString, finalCode);
    QFETCH(int, storedBytes);
    const QByteArray data = sampleData(200000);
    TestFtpServer server;
    QVERIFY2(server.start(args), qPrintable(server.errorString()));
    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.login(server));
    QVERIFY(control.command("TYPE I").startsWith(QLatin1String("200")));
    const quint16 dataPort = extendedPassivePort(control.command("EPSV"));
    QVERIFY(dataPort != 0);
    QTcpSocket dataSocket;
    dataSocket.connectToHost(server.host(), dataPort);
    QTRY_COMPARE_WITH_TIMEOUT(dataSocket.state(), QAbstractSocket::ConnectedState, waitMs);

    const QString first = control.command("STOR sample.bin");
    QVERIFY2(first.startsWith(firstCode), qPrintable(first));
    if (!firstCode.startsWith(QLatin1Char('1'))) {
        QVERIFY(!server.serverFileExists(QStringLiteral("sample.bin")));
        QVERIFY(control.command("NOOP").startsWith(QLatin1String("200")));
        return;
    }

    dataSocket.write(data);
    if (finalCode != QLatin1String("-")) {
        QTRY_COMPARE_WITH_TIMEOUT(dataSocket.bytesToWrite(), qint64(0), waitMs);
        dataSocket.disconnectFromHost();
    }
    QTRY_COMPARE_WITH_TIMEOUT(dataSocket.state(), QAbstractSocket::UnconnectedState, waitMs);

    if (finalCode == QLatin1String("-")) {
        QCOMPARE(control.reply(), QString());
        QVERIFY(control.waitClosed());
    } else if (finalCode.isEmpty()) {
        // The transfer's own reply never comes: the next one answers NOOP.
        QTRY_COMPARE_WITH_TIMEOUT(server.serverFileContent(QStringLiteral("sample.bin")).size(),
                                  storedBytes, waitMs);
        QVERIFY(control.command("NOOP").startsWith(QLatin1String("200")));
    } else {
        const QString final = control.reply();
        QVERIFY2(final.startsWith(finalCode), qPrintable(final));
    }

    const QByteArray stored = server.serverFileContent(QStringLiteral("sample.bin"));
    QVERIFY(server.serverFileExists(QStringLiteral("sample.bin")));
    QCOMPARE(stored.size(), storedBytes);
    QVERIFY(stored == data.left(storedBytes));
}

void TestServer::stallOnCommand()
{
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--stall-on"), QStringLiteral("cwd")}),
             qPrintable(server.errorString()));
    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.login(server));
    QVERIFY(control.command("MKD a").startsWith(QLatin1String("257")));
    control.send("CWD a");
    // Commands are answered in order, so NOOP's reply coming first proves CWD
    // got none; PWD shows it was not carried out either.
    QVERIFY(control.command("NOOP").startsWith(QLatin1String("200")));
    QCOMPARE(control.command("PWD"), QStringLiteral("257 \"/\" is the current directory."));
    QCOMPARE(server.commands().mid(2),
             (QStringList{QStringLiteral("MKD a"), QStringLiteral("CWD a"), QStringLiteral("NOOP"),
                          QStringLiteral("PWD")}));
}

void TestServer::stallStorAfter()
{
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--stall-stor-after"), QStringLiteral("1000")}),
             qPrintable(server.errorString()));
    ControlChannel control;
    QTcpSocket dataSocket;
    QVERIFY(beginUpload(server, control, dataSocket, "big.bin"));

    // More than any pair of socket buffers can hold, so the sender is held up.
    const QByteArray data = sampleData(1000) + QByteArray(64 * 1024 * 1024, 'z');
    dataSocket.write(data);
    QTRY_COMPARE_WITH_TIMEOUT(server.serverFileContent(QStringLiteral("big.bin")).size(), 1000,
                              waitMs);
    QVERIFY(dataSocket.bytesToWrite() > 0);
    QCOMPARE(server.serverFileContent(QStringLiteral("big.bin")), data.left(1000));
    QVERIFY(control.command("NOOP").startsWith(QLatin1String("200")));
}

void TestServer::readLimit()
{
    TestFtpServer server;
    QVERIFY2(server.start({QStringLiteral("--read-limit"), QStringLiteral("300000")}),
             qPrintable(server.errorString()));
    ControlChannel control;
    QTcpSocket dataSocket;
    QVERIFY(beginUpload(server, control, dataSocket, "slow.bin"));

    const QByteArray data = sampleData(600000);
    QElapsedTimer clock;
    clock.start();
    dataSocket.write(data);
    QTRY_COMPARE_WITH_TIMEOUT(dataSocket.bytesToWrite(), qint64(0), waitMs);
    dataSocket.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(dataSocket.state(), QAbstractSocket::UnconnectedState, waitMs);
    const QString final = control.reply();
    QVERIFY2(final.startsWith(QLatin1String("226")), qPrintable(final));
    // Two seconds at that pace, of which the first tenth is read at once.
    QVERIFY2(clock.elapsed() >= 1800, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(server.serverFileContent(QStringLiteral("slow.bin")) == data);
}

void TestServer::loopbackIpv6()
{
    TestFtpServer server;
    if (!server.start({QStringLiteral("--host"), QStringLiteral("::1")}))
        QSKIP("no IPv6 loopback here");
    QCOMPARE(server.host(), QStringLiteral("::1"));
    ControlChannel control;
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.login(server));
    QVERIFY(extendedPassivePort(control.command("EPSV")) != 0);
}

void TestServer::serverFilePath_data()
{
    QTest::addColumn<QString>("rel");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("a/b.htm") << QStringLiteral("/a/b.htm");
    QTest::newRow("leading slash") << QStringLiteral("/a/b.htm") << QStringLiteral("/a/b.htm");
    QTest::newRow("doubled slashes") << QStringLiteral("//a//b.htm") << QStringLiteral("/a/b.htm");
    QTest::newRow("root itself") << QStringLiteral("/") << QString();
}

void TestServer::serverFilePath()
{
    QFETCH(QString, rel);
    QFETCH(QString, expected);
    TestFtpServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.serverFilePath(rel), server.rootPath() + expected);
    QVERIFY(writeFile(server.serverFilePath(QStringLiteral("a/b.htm")), "page", 1200000000));
    QCOMPARE(server.serverFileContent(QStringLiteral("/a/b.htm")), QByteArray("page"));
    QVERIFY(server.serverFileContent(QStringLiteral("missing")).isEmpty());
    QVERIFY(!server.serverFileExists(QStringLiteral("missing")));
}

void TestServer::treeFiles_data()
{
    QTest::addColumn<QString>("rel");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("mtime");
    QTest::newRow("top level") << QStringLiteral("index.htm") << QByteArray("<html/>")
                               << qint64(1173000000);
    QTest::newRow("deep, new folders")
        << QStringLiteral("html/2007/mars.htm") << QByteArray("mars") << qint64(1175385599);
    QTest::newRow("empty file") << QStringLiteral("vide.txt") << QByteArray() << qint64(86400);
    QTest::newRow("largest 32-bit unsigned time")
        << QStringLiteral("late.png") << QByteArray("\x89PNG\0\1", 6) << qint64(4294967295LL);
    QTest::newRow("accented name")
        << QStringLiteral("données/été.jpg") << QByteArray("jpeg") << qint64(1500000000);
}

void TestServer::treeFiles()
{
    QFETCH(QString, rel);
    QFETCH(QByteArray, content);
    QFETCH(qint64, mtime);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(rel);
    QVERIFY(writeFile(path, content, mtime));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    file.close();
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), mtime);

    QVERIFY(setMtime(path, mtime - 3600));
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), mtime - 3600);
    QCOMPARE(QFileInfo(path).size(), qint64(content.size()));
    // Rewriting replaces the content and the time.
    QVERIFY(writeFile(path, "x", mtime + 1));
    QCOMPARE(QFileInfo(path).size(), qint64(1));
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), mtime + 1);
}

void TestServer::treeLinksAndFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(makeDir(dir.filePath(QStringLiteral("a/b/c"))));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("a/b/c"))).isDir());
    QVERIFY(!setMtime(dir.filePath(QStringLiteral("absent.txt")), 1000));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("absent.txt"))));
    QVERIFY(!makeHidden(dir.filePath(QStringLiteral("absent.txt"))));

    QVERIFY(writeFile(dir.filePath(QStringLiteral("a/target.txt")), "t", 1000));
#ifndef Q_OS_WIN
    QVERIFY(writeFile(dir.filePath(QStringLiteral("a/.cache")), "h", 1000));
    QVERIFY(makeHidden(dir.filePath(QStringLiteral("a/.cache"))));
    QVERIFY(!makeHidden(dir.filePath(QStringLiteral("a/target.txt"))));
#else
    QVERIFY(makeHidden(dir.filePath(QStringLiteral("a/target.txt"))));
#endif
    const QString link = dir.filePath(QStringLiteral("links/lien.txt"));
    if (!makeSymlink(dir.filePath(QStringLiteral("a/target.txt")), link))
        QSKIP("no symbolic links on this platform");
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), dir.filePath(QStringLiteral("a/target.txt")));
}

void TestServer::temporaryDataHome()
{
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    QString first;
    {
        TemporaryDataHome home;
        QVERIFY(home.isValid());
        first = home.path();
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
        QCOMPARE(settingsFilePath(), home.path() + QStringLiteral("/Nuvola.ini"));
#endif
        QVERIFY(settingsFilePath().endsWith(QLatin1String("/Nuvola.ini")));
        QVERIFY(!QFileInfo::exists(settingsFilePath()));
        {
            TemporaryDataHome inner;
            QVERIFY(inner.path() != first);
            QCOMPARE(qgetenv("XDG_DATA_HOME"), inner.path().toLocal8Bit());
        }
        QCOMPARE(qgetenv("XDG_DATA_HOME"), first.toLocal8Bit());
    }
    QCOMPARE(qgetenv("XDG_DATA_HOME"), before);
    QCOMPARE(qEnvironmentVariableIsSet("XDG_DATA_HOME"), wasSet);
    QVERIFY(!QFileInfo::exists(first));
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_testserver.moc"
