// The client's contract against the real test server (pyftpdlib).
#include "ftpclient.h"
#include "putsource.h"
#include "recorder.h"
#include "testftpserver.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>

namespace {

constexpr int Bound = 10000;

QByteArray pattern(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 13 + i / 509) & 0xff);
    return out;
}

} // namespace

class TstFtpClient : public QObject
{
    Q_OBJECT

private:
    // Queues connection and login and waits for both.
    static bool open(FtpClient &client, Recorder &rec, const TestFtpServer &server)
    {
        const int before = rec.doneCount;
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        if (!QTest::qWaitFor([&] { return rec.doneCount == before + 1; }, Bound))
            return false;
        return client.error() == FtpClient::NoError && client.state() == FtpClient::LoggedIn;
    }

    // The two kinds of device a put reads from (see putSource).
    static void deviceKinds()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::newRow("memory") << false;
        QTest::newRow("file") << true;
    }

    static bool waitDone(Recorder &rec, int count)
    {
        return QTest::qWaitFor([&] { return rec.doneCount >= count; }, Bound);
    }

private slots:
    void wholeSession_data()
    {
        QTest::addColumn<QStringList>("serverArgs");
        QTest::addColumn<QString>("passiveVerb");
        QTest::newRow("EPSV") << QStringList() << QStringLiteral("EPSV");
        QTest::newRow("PASV without EPSV")
            << QStringList({QStringLiteral("--no-epsv")}) << QStringLiteral("PASV");
        QTest::newRow("PASV names a foreign address")
            << QStringList({QStringLiteral("--no-epsv"), QStringLiteral("--pasv-address"),
                            QStringLiteral("192.0.2.77")})
            << QStringLiteral("PASV");
        QTest::newRow("slow replies and late data accept")
            << QStringList({QStringLiteral("--reply-delay"), QStringLiteral("30"),
                            QStringLiteral("--accept-delay"), QStringLiteral("100")})
            << QStringLiteral("EPSV");
    }

    void wholeSession()
    {
        QFETCH(QStringList, serverArgs);
        QFETCH(QString, passiveVerb);
        TestFtpServer server;
        QVERIFY2(server.start(serverArgs), qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        const QByteArray binary = pattern(2 * 1024 * 1024 + 3);
        QBuffer binaryDevice;
        binaryDevice.setData(binary);
        QVERIFY(binaryDevice.open(QIODevice::ReadOnly));
        QBuffer textDevice;
        textDevice.setData("<html>\n<body>\r\n</body>\n");
        QVERIFY(textDevice.open(QIODevice::ReadOnly));
        QBuffer emptyDevice;
        QVERIFY(emptyDevice.open(QIODevice::ReadOnly));

        const QList<int> ids{
            client.connectToHost(server.host(), server.port()),
            client.login(server.user(), server.password()),
            client.mkdir(QStringLiteral("www")),
            client.cd(QStringLiteral("www")),
            client.mkdir(QStringLiteral("m\u00e9t\u00e9o")),
            client.cd(QStringLiteral("m\u00e9t\u00e9o")),
            client.put(&binaryDevice, QStringLiteral("pluie.png")),
            client.put(&textDevice, QStringLiteral("\u00e9t\u00e9.htm"), FtpClient::Ascii),
            client.put(&emptyDevice, QStringLiteral("vide.txt")),
            client.close()};
        QCOMPARE(ids, QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        QVERIFY(waitDone(rec, 1));
        QCOMPARE(rec.doneCount, 1);
        QVERIFY(!rec.lastDoneError);
        QCOMPARE(client.state(), FtpClient::Unconnected);

        QStringList expected;
        expected << QStringLiteral("start 1") << QStringLiteral("state 1")
                 << QStringLiteral("state 2") << QStringLiteral("state 3")
                 << QStringLiteral("end 1 ok") << QStringLiteral("start 2")
                 << QStringLiteral("state 4") << QStringLiteral("end 2 ok");
        for (int id = 3; id <= 9; ++id)
            expected << QStringLiteral("start %1").arg(id) << QStringLiteral("end %1 ok").arg(id);
        expected << QStringLiteral("start 10") << QStringLiteral("state 5")
                 << QStringLiteral("state 0") << QStringLiteral("end 10 ok")
                 << QStringLiteral("done ok");
        QCOMPARE(rec.events, expected);

        QCOMPARE(server.serverFileContent(QStringLiteral("www/m\u00e9t\u00e9o/pluie.png")), binary);
        // The server stores ASCII uploads with its own line ends.
        QCOMPARE(server.serverFileContent(QStringLiteral("www/m\u00e9t\u00e9o/\u00e9t\u00e9.htm")),
                 QByteArray("<html>\n<body>\n</body>\n"));
        QVERIFY(server.serverFileExists(QStringLiteral("www/m\u00e9t\u00e9o/vide.txt")));
        QCOMPARE(server.serverFileContent(QStringLiteral("www/m\u00e9t\u00e9o/vide.txt")),
                 QByteArray());

        const QStringList commands = server.commands();
        QVERIFY(commands.contains(QStringLiteral("FEAT")));
        QVERIFY(commands.contains(QStringLiteral("OPTS UTF8 ON")));
        QVERIFY(commands.contains(QStringLiteral("PASS ****")));
        // Binary, ASCII, then binary again.
        QCOMPARE(commands.count(QStringLiteral("TYPE I")), 2);
        QCOMPARE(commands.count(QStringLiteral("TYPE A")), 1);
        QCOMPARE(commands.count(passiveVerb), 3);
        QCOMPARE(commands.last(), QStringLiteral("QUIT"));
        QVERIFY(!rec.progress.isEmpty());
    }

    void putFromFile_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("start");
        QTest::newRow("empty") << qint64(0) << qint64(0);
        QTest::newRow("one byte") << qint64(1) << qint64(0);
        QTest::newRow("one MiB exactly") << qint64(1 << 20) << qint64(0);
        // More than the system's socket buffers take at once.
        QTest::newRow("several MiB") << qint64(5 * 1024 * 1024 + 1234) << qint64(0);
        QTest::newRow("from where the file was left")
            << qint64(3 * 1024 * 1024 + 7) << qint64(100001);
    }

    void putFromFile()
    {
        // A real file, as the program sends the larger ones.
        QFETCH(qint64, size);
        QFETCH(qint64, start);
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryFile file;
        QVERIFY(file.open());
        const QByteArray content = pattern(size);
        QCOMPARE(file.write(content), content.size());
        QVERIFY(file.seek(start));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        client.put(&file, QStringLiteral("big.bin"));
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(client.error(), FtpClient::NoError);
        const QByteArray expected = content.mid(start);
        const QByteArray stored = server.serverFileContent(QStringLiteral("big.bin"));
        QCOMPARE(stored.size(), expected.size());
        QVERIFY(stored == expected);
        const qint64 total = expected.size();
        if (total > 0)
            QCOMPARE(rec.progress.last(), qMakePair(total, total));
        for (const auto &step : rec.progress)
            QCOMPARE(step.second, total);
    }

    void putFromGrowingFile()
    {
        // The station may still be writing the file: what is appended while
        // it goes out goes out too, as with the reads of a smaller file.
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryFile file;
        QVERIFY(file.open());
        const QByteArray first = pattern(2 * 1024 * 1024);
        const QByteArray more = QByteArray(300000, 'z');
        QCOMPARE(file.write(first), first.size());
        QVERIFY(file.seek(0));
        QFile appender(file.fileName());
        QVERIFY(appender.open(QIODevice::Append));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        connect(&client, &FtpClient::dataTransferProgress, this, [&] {
            if (appender.isOpen()) {
                appender.write(more);
                appender.close();
            }
        });
        client.put(&file, QStringLiteral("growing.bin"));
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(client.error(), FtpClient::NoError);
        QVERIFY(server.serverFileContent(QStringLiteral("growing.bin")) == first + more);
    }

    void serverRefusals_data()
    {
        QTest::addColumn<QStringList>("serverArgs");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("inError");
        QTest::newRow("missing folder")
            << QStringList() << int(FtpClient::Cd) << QStringLiteral("550");
        QTest::newRow("mkdir refused")
            << QStringList({QStringLiteral("--refuse-mkd")}) << int(FtpClient::Mkdir)
            << QStringLiteral("550 Permission denied.");
        QTest::newRow("STOR refused")
            << QStringList({QStringLiteral("--refuse-stor")}) << int(FtpClient::Put)
            << QStringLiteral("553 Could not create file.");
        QTest::newRow("disk full")
            << QStringList({QStringLiteral("--disk-full")}) << int(FtpClient::Put)
            << QStringLiteral("452 Insufficient storage space.");
    }

    void serverRefusals()
    {
        QFETCH(QStringList, serverArgs);
        QFETCH(int, command);
        QFETCH(QString, inError);
        TestFtpServer server;
        QVERIFY2(server.start(serverArgs), qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        QBuffer device;
        device.setData(pattern(300000));
        QVERIFY(device.open(QIODevice::ReadOnly));
        if (command == FtpClient::Cd)
            client.cd(QStringLiteral("absent"));
        else if (command == FtpClient::Mkdir)
            client.mkdir(QStringLiteral("d"));
        else
            client.put(&device, QStringLiteral("f.bin"));
        client.mkdir(QStringLiteral("dropped"));
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(rec.doneCount, 2);
        QVERIFY(rec.lastDoneError);
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().contains(inError), qPrintable(client.errorString()));
        QVERIFY(!server.commands().contains(QStringLiteral("MKD dropped")));
        // Still in step: the next command gets its own answer.
        client.cd(QStringLiteral("/"));
        QVERIFY(waitDone(rec, 3));
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(client.state(), FtpClient::LoggedIn);
    }

    void wrongPassword()
    {
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), QStringLiteral("wrong"));
        client.cd(QStringLiteral("/"));
        QVERIFY(waitDone(rec, 1));
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().startsWith(QStringLiteral("530")),
                 qPrintable(client.errorString()));
        QCOMPARE(client.state(), FtpClient::Connected);
        QCOMPARE(rec.count(QStringLiteral("start")), 2);
    }

    void lostConnectionAndReconnectFromSlot()
    {
        // Session 1 drops at its fifth command (the CWD after USER, PASS,
        // FEAT, OPTS); the program answers such a loss from the
        // commandFinished slot by queueing a new connection and login.
        TestFtpServer server;
        QVERIFY2(server.start({QStringLiteral("--drop-after"), QStringLiteral("5"),
                               QStringLiteral("--fault-sessions"), QStringLiteral("1")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        int reconnect = 0;
        connect(&client, &FtpClient::commandFinished, this, [&](int, bool failed) {
            if (failed && client.error() == FtpClient::NotConnected &&
                client.currentCommand() != FtpClient::ConnectToHost && reconnect == 0) {
                reconnect = client.connectToHost(server.host(), server.port());
                client.login(server.user(), server.password());
            }
        });
        const int cd = client.cd(QStringLiteral("/"));
        client.mkdir(QStringLiteral("dropped"));
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(rec.doneCount, 2);
        QVERIFY(reconnect > cd);
        QVERIFY(rec.events.contains(QStringLiteral("end %1 fail").arg(cd)));
        QCOMPARE(client.state(), FtpClient::LoggedIn);
        QCOMPARE(server.sessions(), QList<int>({1, 2}));
        QVERIFY(!server.commands().contains(QStringLiteral("MKD dropped")));
        client.mkdir(QStringLiteral("after"));
        QVERIFY(waitDone(rec, 3));
        QCOMPARE(client.error(), FtpClient::NoError);
        QVERIFY(QFile::exists(server.serverFilePath(QStringLiteral("after"))));
    }

    void lossDuringTransfer_data() { deviceKinds(); }

    void lossDuringTransfer()
    {
        QFETCH(bool, fromFile);
        TestFtpServer server;
        QVERIFY2(server.start({QStringLiteral("--drop-in-transfer"), QStringLiteral("200000")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        QBuffer buffer;
        QTemporaryFile file;
        QIODevice *device = putSource(fromFile, pattern(4 * 1024 * 1024), buffer, file);
        QVERIFY(device);
        client.put(device, QStringLiteral("cut.bin"));
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        client.cd(QStringLiteral("/"));
        QVERIFY(waitDone(rec, 3));
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QVERIFY(open(client, rec, server));
    }

    void abortStalledTransfer_data() { deviceKinds(); }

    void abortStalledTransfer()
    {
        QFETCH(bool, fromFile);
        // The server stops reading: the upload hangs with both connections
        // open until abort(); ABOR's replies (426 then 226) must be consumed.
        TestFtpServer server;
        QVERIFY2(server.start({QStringLiteral("--stall-stor-after"), QStringLiteral("100000")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        QBuffer buffer;
        QTemporaryFile file;
        QIODevice *device = putSource(fromFile, pattern(64 * 1024 * 1024), buffer, file);
        QVERIFY(device);
        const int put = client.put(device, QStringLiteral("stalled.bin"));
        QTRY_VERIFY_WITH_TIMEOUT(!rec.progress.isEmpty(), Bound);
        client.abort();
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(rec.events.last(2), QStringList({QStringLiteral("end %1 fail").arg(put),
                                                  QStringLiteral("done fail")}));
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QTRY_VERIFY_WITH_TIMEOUT(server.commands().contains(QStringLiteral("ABOR")), Bound);
        client.cd(QStringLiteral("absent"));
        QVERIFY(waitDone(rec, 3));
        QCOMPARE(client.error(), FtpClient::UnknownError);
        QVERIFY2(client.errorString().startsWith(QStringLiteral("550")),
                 qPrintable(client.errorString()));
        client.mkdir(QStringLiteral("present"));
        client.cd(QStringLiteral("present"));
        QVERIFY(waitDone(rec, 4));
        QCOMPARE(client.error(), FtpClient::NoError);
        QCOMPARE(client.state(), FtpClient::LoggedIn);
    }

    void abortThenClose()
    {
        // What the program does at the end of every run.
        TestFtpServer server;
        QVERIFY2(server.start({QStringLiteral("--stall-on"), QStringLiteral("CWD")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        client.setProtocolTimeout(500);
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        const int cd = client.cd(QStringLiteral("/"));
        QTRY_VERIFY_WITH_TIMEOUT(server.commands().contains(QStringLiteral("CWD /")), Bound);
        client.abort();
        const int close = client.close();
        QVERIFY(waitDone(rec, 2));
        // The CWD's answer never comes, so a QUIT's could not be told from
        // it: no QUIT goes out, the connection is dropped.
        QCOMPARE(rec.events.last(5),
                 QStringList({QStringLiteral("end %1 fail").arg(cd),
                              QStringLiteral("start %1").arg(close), QStringLiteral("state 0"),
                              QStringLiteral("end %1 ok").arg(close), QStringLiteral("done ok")}));
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(!server.commands().contains(QStringLiteral("QUIT")));
    }

    void stalledCommandThenNewConnection()
    {
        TestFtpServer server;
        QVERIFY2(server.start({QStringLiteral("--stall-on"), QStringLiteral("MKD"),
                               QStringLiteral("--fault-sessions"), QStringLiteral("1")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        client.setProtocolTimeout(500);
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        client.mkdir(QStringLiteral("never"));
        QTRY_VERIFY_WITH_TIMEOUT(server.commands().contains(QStringLiteral("MKD never")), Bound);
        client.abort();
        QVERIFY(waitDone(rec, 2));
        // MKD's answer never comes: the connection is given up, and a new
        // one works.
        client.cd(QStringLiteral("/"));
        QVERIFY(waitDone(rec, 3));
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QVERIFY(open(client, rec, server));
        client.mkdir(QStringLiteral("second"));
        QVERIFY(waitDone(rec, 5));
        QCOMPARE(client.error(), FtpClient::NoError);
    }

    void storFinalNeverComes()
    {
        TestFtpServer server;
        QVERIFY2(server.start({QStringLiteral("--stall-on"), QStringLiteral("STOR")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        client.setProtocolTimeout(500);
        Recorder rec(&client);
        QVERIFY(open(client, rec, server));
        QBuffer device;
        device.setData(pattern(1000));
        QVERIFY(device.open(QIODevice::ReadOnly));
        client.put(&device, QStringLiteral("f"));
        // All sent, the 226 never comes; the caller's own time-out aborts.
        QTRY_VERIFY_WITH_TIMEOUT(!rec.progress.isEmpty(), Bound);
        QTRY_VERIFY_WITH_TIMEOUT(server.serverFileContent(QStringLiteral("f")).size() == 1000,
                                 Bound);
        QCOMPARE(rec.doneCount, 1);
        client.abort();
        QVERIFY(waitDone(rec, 2));
        QCOMPARE(client.error(), FtpClient::UnknownError);
        client.cd(QStringLiteral("/"));
        QVERIFY(waitDone(rec, 3));
        // STOR's 226 is still owed after ABOR's 225: the channel cannot be
        // trusted any more and is given up rather than misread.
        QCOMPARE(client.error(), FtpClient::NotConnected);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(!server.commands().contains(QStringLiteral("CWD /")));
    }
};

QTEST_GUILESS_MAIN(TstFtpClient)
#include "tst_ftpclient.moc"
