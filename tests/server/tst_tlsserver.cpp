#include "rawftpcontrol.h"
#include "testcertificates.h"
#include "testftpserver.h"
#include "testvsftpd.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int waitMs = 5000;

QString colonHex(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QList<QSslError::SslError> sortedKinds(QList<QSslError::SslError> kinds)
{
    std::sort(kinds.begin(), kinds.end());
    kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
    return kinds;
}

// Trusts the test authority only (and the system's, which cannot vouch for
// these certificates); keeps sessions so that a data connection can resume.
QSslConfiguration trustingConfiguration(const TestCertificates &certificates)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates({certificates.caCertificate()});
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return configuration;
}

// An FTP control connection that can switch to TLS after AUTH TLS; records
// the certificate errors of the handshake and goes on despite them.
class TlsControl : public RawFtpControl
{
public:
    explicit TlsControl(const QSslConfiguration &configuration)
        : RawFtpControl(socket), base(configuration)
    {
        socket.setSslConfiguration(configuration);
        QObject::connect(&socket, &QSslSocket::sslErrors, [this](const QList<QSslError> &list) {
            for (const QSslError &error : list)
                errors.append(error.error());
            socket.ignoreSslErrors();
        });
    }

    // AUTH TLS and the handshake; checks the name `verifyName` (the host
    // connected to when empty).
    bool secure(const QString &verifyName = {})
    {
        if (!command("AUTH TLS").startsWith(QLatin1String("234")))
            return false;
        if (!verifyName.isEmpty())
            socket.setPeerVerifyName(verifyName);
        socket.startClientEncryption();
        return waitEncrypted(socket);
    }

    bool login(const QString &user, const QString &password)
    {
        const QString first = command("USER " + user.toUtf8());
        if (first.startsWith(QLatin1String("230")))
            return true; // vsftpd's anonymous login asks no password
        return first.startsWith(QLatin1String("331")) &&
               command("PASS " + password.toUtf8()).startsWith(QLatin1String("230"));
    }

    bool protect()
    {
        return command("PBSZ 0").startsWith(QLatin1String("200")) &&
               command("PROT P").startsWith(QLatin1String("200"));
    }

    // The session to resume on data connections: with TLS 1.3 it comes in a
    // message after the handshake, so it is waited for.
    QByteArray sessionTicket()
    {
        QByteArray ticket;
        const bool came = QTest::qWaitFor(
            [&] {
                ticket = socket.sslConfiguration().sessionTicket();
                return !ticket.isEmpty();
            },
            waitMs);
        return came ? ticket : QByteArray();
    }

    // The lines of the reply to FEAT, trimmed, without the first and last.
    QStringList features()
    {
        send("FEAT");
        const bool complete = QTest::qWaitFor(
            [this] {
                buffer += socket.readAll();
                return buffer.contains("\r\n211 ");
            },
            waitMs);
        QStringList lines;
        if (!complete)
            return lines;
        const qsizetype end = buffer.indexOf("\r\n211 ");
        const QList<QByteArray> raw = buffer.left(end).split('\n');
        for (qsizetype i = 1; i < raw.size(); ++i)
            lines.append(QString::fromUtf8(raw.at(i).trimmed()));
        buffer.remove(0, buffer.indexOf("\r\n", end + 2) + 2);
        return lines;
    }

    static bool waitEncrypted(QSslSocket &s)
    {
        return QTest::qWaitFor(
                   [&] {
                       return s.isEncrypted() || s.state() == QAbstractSocket::UnconnectedState;
                   },
                   waitMs) &&
               s.isEncrypted();
    }

    QSslConfiguration base;
    QSslSocket socket;
    QList<QSslError::SslError> errors;
};

QByteArray sampleData(int size)
{
    QByteArray data;
    data.reserve(size);
    for (int i = 0; i < size; ++i)
        data.append(static_cast<char>((i * 13 + i / 257) & 0xff));
    return data;
}

// A data connection in TLS, resuming the control connection's session when
// given its ticket.
class DataChannel
{
public:
    DataChannel() : tickets(&socket, &QSslSocket::newSessionTicketReceived)
    {
        QObject::connect(&socket, &QSslSocket::sslErrors, &socket,
                         [this] { socket.ignoreSslErrors(); });
    }

    // Without `encryptNow` it stays in clear until startClientEncryption(),
    // so that the handshake can follow the transfer command.
    void open(const TlsControl &control, const QString &host, quint16 port,
              const QByteArray &ticket, bool encryptNow = true)
    {
        QSslConfiguration configuration = control.base;
        if (ticket.isEmpty()) {
            // Nothing shared behind the test's back: a full handshake.
            configuration.setSslOption(QSsl::SslOptionDisableSessionSharing, true);
        } else {
            configuration.setSessionTicket(ticket);
        }
        socket.setSslConfiguration(configuration);
        if (encryptNow)
            socket.connectToHostEncrypted(host, port);
        else
            socket.connectToHost(host, port);
    }

    // Sends `bytes` and closes. With TLS 1.3 the server sends a session
    // ticket after the handshake; closing before Qt has read it leaves it in
    // the kernel's buffer, which then answers the close with a reset, and the
    // server loses what it had not read yet. So the ticket is waited for.
    bool upload(const QByteArray &bytes)
    {
        socket.write(bytes);
        const bool written = QTest::qWaitFor(
            [this] { return socket.encryptedBytesToWrite() + socket.bytesToWrite() == 0; }, waitMs);
        if (socket.sessionProtocol() == QSsl::TlsV1_3 && tickets.isEmpty() && !tickets.wait(waitMs))
            return false;
        socket.disconnectFromHost();
        return written && waitClosed();
    }

    bool waitClosed()
    {
        return QTest::qWaitFor(
            [this] { return socket.state() == QAbstractSocket::UnconnectedState; }, waitMs);
    }

    QSslSocket socket;
    QSignalSpy tickets;
};

} // namespace

class TestTlsServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void certificates_data();
    void certificates();
    void handshake_data();
    void handshake();
    void authRefused_data();
    void authRefused();
    void tlsRequired_data();
    void tlsRequired();
    void badCertificateFiles_data();
    void badCertificateFiles();
    void dataSessionReuse_data();
    void dataSessionReuse();
    void faultsInTls_data();
    void faultsInTls();
    void dropAfterInTls_data();
    void dropAfterInTls();
    void handshakeDelay();
    void vsftpdTls();
    void vsftpdPlain();

private:
    // Made once: every test function uses the same certificates.
    std::unique_ptr<TestCertificates> certs;
};

void TestTlsServer::initTestCase()
{
    certs = std::make_unique<TestCertificates>();
    QVERIFY2(certs->isValid(), qPrintable(certs->errorString()));
}

void TestTlsServer::certificates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("selfSigned");
    for (const QString &name : TestCertificates::names())
        QTest::newRow(qPrintable(name)) << name << name.startsWith(QLatin1String("selfsigned"));
}

void TestTlsServer::certificates()
{
    QFETCH(QString, name);
    QFETCH(bool, selfSigned);
    const QSslCertificate certificate = certs->certificate(name);
    QVERIFY(!certificate.isNull());
    // The script's fingerprint is the one Qt computes, in the stored form.
    const QString fingerprint = certs->fingerprint(name);
    QCOMPARE(fingerprint, colonHex(certificate.digest(QCryptographicHash::Sha256)));
    static const QRegularExpression form(QStringLiteral("^([0-9A-F]{2}:){31}[0-9A-F]{2}$"));
    QVERIFY2(form.match(fingerprint).hasMatch(), qPrintable(fingerprint));
    for (const QString &other : TestCertificates::names()) {
        if (other != name)
            QVERIFY(certs->fingerprint(other) != fingerprint);
    }

    QFile keyFile(certs->keyPath(name));
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    const QSslKey key(&keyFile, QSsl::Ec);
    QVERIFY(!key.isNull());
    QCOMPARE(key.type(), QSsl::PrivateKey);
    QCOMPARE(certificate.publicKey().algorithm(), QSsl::Ec);
    QCOMPARE(certificate.isSelfSigned(), selfSigned || name == QLatin1String("ca"));
    if (name != QLatin1String("ca") && !selfSigned)
        QCOMPARE(certificate.issuerInfo(QSslCertificate::CommonName),
                 certs->caCertificate().subjectInfo(QSslCertificate::CommonName));
    QVERIFY(certs->fingerprint(QStringLiteral("nosuch")).isEmpty());
    QVERIFY(certs->certificate(QStringLiteral("nosuch")).isNull());
}

void TestTlsServer::handshake_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("verifyName"); // empty: the address connected to
    QTest::addColumn<QList<QSslError::SslError>>("expected");
    using E = QList<QSslError::SslError>;
    QTest::newRow("good, by address") << QStringLiteral("good") << QString() << E{};
    QTest::newRow("good, by name") << QStringLiteral("good") << QStringLiteral("localhost") << E{};
    QTest::newRow("good, other name")
        << QStringLiteral("good") << QStringLiteral("ftp.other.invalid")
        << E{QSslError::HostNameMismatch};
    QTest::newRow("self-signed") << QStringLiteral("selfsigned") << QString()
                                 << E{QSslError::SelfSignedCertificate};
    QTest::newRow("other self-signed")
        << QStringLiteral("selfsigned2") << QString() << E{QSslError::SelfSignedCertificate};
    QTest::newRow("expired") << QStringLiteral("expired") << QString()
                             << E{QSslError::CertificateExpired};
    QTest::newRow("wrong name") << QStringLiteral("wrongname") << QString()
                                << E{QSslError::HostNameMismatch};
}

void TestTlsServer::handshake()
{
    QFETCH(QString, name);
    QFETCH(QString, verifyName);
    QFETCH(QList<QSslError::SslError>, expected);
    TestFtpServer server;
    QVERIFY2(server.startTls(*certs, name), qPrintable(server.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.secure(verifyName));
    QCOMPARE(sortedKinds(control.errors), sortedKinds(expected));
    QCOMPARE(colonHex(control.socket.peerCertificate().digest(QCryptographicHash::Sha256)),
             certs->fingerprint(name));
    // The session goes on in TLS, and AUTH cannot be repeated.
    QVERIFY(control.login(server.user(), server.password()));
    QCOMPARE(control.command("AUTH TLS").left(3), QStringLiteral("503"));
    QVERIFY(control.protect());
    QCOMPARE(server.commands().mid(0, 5),
             (QStringList{QStringLiteral("AUTH TLS"), QStringLiteral("USER nuvola"),
                          QStringLiteral("PASS ****"), QStringLiteral("AUTH TLS"),
                          QStringLiteral("PBSZ 0")}));
    QCOMPARE(server.commands().value(5), QStringLiteral("PROT P"));
}

void TestTlsServer::authRefused_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("code");
    QTest::newRow("plain server, AUTH TLS")
        << false << QByteArray("AUTH TLS") << QStringLiteral("500");
    QTest::newRow("plain server, PBSZ") << false << QByteArray("PBSZ 0") << QStringLiteral("500");
    QTest::newRow("plain server, PROT P") << false << QByteArray("PROT P") << QStringLiteral("500");
    QTest::newRow("TLS server, unknown mechanism")
        << true << QByteArray("AUTH KERBEROS") << QStringLiteral("502");
    QTest::newRow("TLS server, PBSZ in clear")
        << true << QByteArray("PBSZ 0") << QStringLiteral("503");
    QTest::newRow("TLS server, PROT in clear")
        << true << QByteArray("PROT P") << QStringLiteral("503");
}

void TestTlsServer::authRefused()
{
    QFETCH(bool, tls);
    QFETCH(QByteArray, command);
    QFETCH(QString, code);
    TestFtpServer server;
    QVERIFY2(tls ? server.startTls(*certs) : server.start(), qPrintable(server.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QCOMPARE(control.command(command).left(3), code);
    // Refused, the session goes on in clear.
    QVERIFY(!control.socket.isEncrypted());
    QVERIFY(control.login(server.user(), server.password()));
    QCOMPARE(server.commands().first(), QString::fromLatin1(command));
    // Only a TLS server offers it.
    QCOMPARE(control.features().contains(QLatin1String("AUTH TLS")), tls);
}

void TestTlsServer::tlsRequired_data()
{
    QTest::addColumn<bool>("required");
    QTest::addColumn<QString>("userInClear");
    QTest::addColumn<QString>("epsvUnprotected");
    QTest::newRow("required") << true << QStringLiteral("530") << QStringLiteral("521");
    QTest::newRow("optional") << false << QStringLiteral("331") << QStringLiteral("229");
}

void TestTlsServer::tlsRequired()
{
    QFETCH(bool, required);
    QFETCH(QString, userInClear);
    QFETCH(QString, epsvUnprotected);
    TestFtpServer server;
    const QStringList extra =
        required ? QStringList{QStringLiteral("--tls-required")} : QStringList{};
    QVERIFY2(server.startTls(*certs, QStringLiteral("good"), extra),
             qPrintable(server.errorString()));

    TlsControl clear(trustingConfiguration(*certs));
    QVERIFY(clear.open(server.host(), server.port()));
    QVERIFY(clear.reply().startsWith(QLatin1String("220 ")));
    QCOMPARE(clear.command("USER nuvola").left(3), userInClear);

    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.secure());
    QVERIFY(control.errors.isEmpty());
    QVERIFY(control.login(server.user(), server.password()));
    QCOMPARE(control.command("EPSV").left(3), epsvUnprotected);
    QVERIFY(control.command("PBSZ 0").startsWith(QLatin1String("200")));
    QVERIFY(control.command("PROT C").startsWith(QLatin1String("200")));
    QCOMPARE(control.command("EPSV").left(3), epsvUnprotected);
    QVERIFY(control.command("PROT P").startsWith(QLatin1String("200")));
    QVERIFY(extendedPassivePort(control.command("EPSV")) != 0);
    const QStringList commands = server.commandsOfSession(server.sessions().value(1));
    QVERIFY2(commands.contains(QStringLiteral("AUTH TLS")) &&
                 commands.contains(QStringLiteral("PBSZ 0")) &&
                 commands.contains(QStringLiteral("PROT P")),
             qPrintable(commands.join(u',')));
}

void TestTlsServer::badCertificateFiles_data()
{
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QString>("key");
    QTest::newRow("missing certificate") << QStringLiteral("nosuch") << QStringLiteral("good");
    QTest::newRow("key of another certificate")
        << QStringLiteral("good") << QStringLiteral("expired");
}

void TestTlsServer::badCertificateFiles()
{
    QFETCH(QString, cert);
    QFETCH(QString, key);
    TestFtpServer server;
    QVERIFY(!server.start({QStringLiteral("--tls-cert"), certs->path(cert),
                           QStringLiteral("--tls-key"), certs->keyPath(key)}));
    QVERIFY(!server.isRunning());
    QVERIFY(!server.errorString().isEmpty());
    // The TLS switches make no sense without a certificate.
    QVERIFY(!server.start({QStringLiteral("--tls-required")}));
}

void TestTlsServer::dataSessionReuse_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("requireReuse");
    QTest::addColumn<bool>("resume");
    QTest::addColumn<bool>("handshakeFirst"); // before STOR, as curl; after, as others
    QTest::addColumn<bool>("accepted");
    for (const QString &version : {QStringLiteral("1.2"), QStringLiteral("1.3")}) {
        const QByteArray v = version.toLatin1();
        QTest::newRow("TLS " + v + ", resumed, required")
            << version << true << true << true << true;
        QTest::newRow("TLS " + v + ", resumed after STOR, required")
            << version << true << true << false << true;
        QTest::newRow("TLS " + v + ", new session, required")
            << version << true << false << true << false;
        QTest::newRow("TLS " + v + ", new session after STOR, required")
            << version << true << false << false << false;
        QTest::newRow("TLS " + v + ", new session, not required")
            << version << false << false << true << true;
    }
}

void TestTlsServer::dataSessionReuse()
{
    QFETCH(QString, version);
    QFETCH(bool, requireReuse);
    QFETCH(bool, resume);
    QFETCH(bool, handshakeFirst);
    QFETCH(bool, accepted);
    QStringList extra{QStringLiteral("--tls-required"), QStringLiteral("--tls-version"), version};
    if (requireReuse)
        extra << QStringLiteral("--tls-require-reuse");
    TestFtpServer server;
    QVERIFY2(server.startTls(*certs, QStringLiteral("good"), extra),
             qPrintable(server.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.secure());
    QCOMPARE(control.socket.sessionProtocol(),
             version == QLatin1String("1.2") ? QSsl::TlsV1_2 : QSsl::TlsV1_3);
    QVERIFY(control.login(server.user(), server.password()));
    QVERIFY(control.protect());
    QVERIFY(control.command("TYPE I").startsWith(QLatin1String("200")));
    const QByteArray ticket = resume ? control.sessionTicket() : QByteArray();
    QCOMPARE(ticket.isEmpty(), !resume);

    const quint16 dataPort = extendedPassivePort(control.command("EPSV"));
    QVERIFY(dataPort != 0);
    DataChannel data;
    QString first;
    if (handshakeFirst) {
        data.open(control, server.host(), dataPort, ticket);
        // Refused, the connection may close right after the handshake.
        QTRY_VERIFY_WITH_TIMEOUT(data.socket.isEncrypted() ||
                                     data.socket.state() == QAbstractSocket::UnconnectedState,
                                 waitMs);
        first = control.command("STOR sample.bin");
    } else {
        data.open(control, server.host(), dataPort, ticket, false);
        QTRY_COMPARE_WITH_TIMEOUT(data.socket.state(), QAbstractSocket::ConnectedState, waitMs);
        first = control.command("STOR sample.bin");
        QVERIFY2(first.startsWith(QLatin1Char('1')), qPrintable(first));
        data.socket.startClientEncryption();
    }
    if (!accepted) {
        if (first.startsWith(QLatin1Char('1')))
            first = control.reply();
        QCOMPARE(first, QStringLiteral("522 SSL connection failed: session reuse required."));
        QVERIFY(data.waitClosed());
        QVERIFY(server.serverFileContent(QStringLiteral("sample.bin")).isEmpty());
        // As vsftpd, the server ends the session.
        QVERIFY(control.waitClosed());
        return;
    }
    QVERIFY2(first.startsWith(QLatin1Char('1')), qPrintable(first));
    QVERIFY(TlsControl::waitEncrypted(data.socket));
    QCOMPARE(data.socket.sessionProtocol(), control.socket.sessionProtocol());
    const QByteArray sent = sampleData(150000);
    QVERIFY(data.upload(sent));
    QCOMPARE(control.reply(), QStringLiteral("226 Transfer complete."));
    QVERIFY(server.serverFileContent(QStringLiteral("sample.bin")) == sent);
}

void TestTlsServer::faultsInTls_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("minimumMs");     // from AUTH to the end of the upload
    QTest::addColumn<QString>("finalCode"); // "-": none, the control connection closed
    QTest::addColumn<int>("storedBytes");
    const int size = 100000;
    QTest::newRow("no fault") << QStringList{} << 0 << QStringLiteral("226") << size;
    // AUTH, USER, PASS, PBSZ, PROT, TYPE, EPSV, STOR, final: 9 replies.
    QTest::newRow("replies delayed")
        << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("40")} << 9 * 40
        << QStringLiteral("226") << size;
    QTest::newRow("accepts delayed")
        << QStringList{QStringLiteral("--accept-delay"), QStringLiteral("300")} << 300
        << QStringLiteral("226") << size;
    QTest::newRow("dropped in transfer")
        << QStringList{QStringLiteral("--drop-in-transfer"), QStringLiteral("1000")} << 0
        << QStringLiteral("-") << 1000;
    QTest::newRow("disk full") << QStringList{QStringLiteral("--disk-full")} << 0
                               << QStringLiteral("452") << 0;
}

void TestTlsServer::faultsInTls()
{
    QFETCH(QStringList, args);
    QFETCH(int, minimumMs);
    QFETCH(QString, finalCode);
    QFETCH(int, storedBytes);
    TestFtpServer server;
    QVERIFY2(server.startTls(*certs, QStringLiteral("good"),
                             args + QStringList{QStringLiteral("--tls-required"),
                                                QStringLiteral("--tls-require-reuse")}),
             qPrintable(server.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(control.secure());
    QVERIFY(control.login(server.user(), server.password()));
    QVERIFY(control.protect());
    QVERIFY(control.command("TYPE I").startsWith(QLatin1String("200")));
    const QByteArray ticket = control.sessionTicket();
    const quint16 dataPort = extendedPassivePort(control.command("EPSV"));
    QVERIFY(dataPort != 0);
    DataChannel data;
    data.open(control, server.host(), dataPort, ticket);
    QVERIFY(control.command("STOR sample.bin").startsWith(QLatin1Char('1')));
    QVERIFY(TlsControl::waitEncrypted(data.socket));
    const QByteArray sent = sampleData(100000);
    if (finalCode == QLatin1String("-")) {
        data.socket.write(sent);
        QVERIFY(data.waitClosed());
        QVERIFY(control.waitClosed());
    } else {
        QVERIFY(data.upload(sent));
        QCOMPARE(control.reply().left(3), finalCode);
    }
    QVERIFY2(clock.elapsed() >= minimumMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(server.serverFileContent(QStringLiteral("sample.bin")), sent.left(storedBytes));
}

void TestTlsServer::dropAfterInTls_data()
{
    QTest::addColumn<int>("dropAt");
    QTest::addColumn<QStringList>("args");
    // AUTH is command 1: the server closes before its 234, still in clear.
    QTest::newRow("at AUTH") << 1 << QStringList{};
    QTest::newRow("at PASS, in TLS") << 3 << QStringList{};
    QTest::newRow("at PROT, in TLS, replies delayed")
        << 5 << QStringList{QStringLiteral("--reply-delay"), QStringLiteral("30")};
}

void TestTlsServer::dropAfterInTls()
{
    QFETCH(int, dropAt);
    QFETCH(QStringList, args);
    TestFtpServer server;
    QVERIFY2(server.startTls(
                 *certs, QStringLiteral("good"),
                 args + QStringList{QStringLiteral("--drop-after"), QString::number(dropAt)}),
             qPrintable(server.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    const QList<QByteArray> sent{"AUTH TLS", "USER nuvola", "PASS secret", "PBSZ 0", "PROT P"};
    for (int i = 1; i < dropAt; ++i) {
        if (i == 1) {
            QVERIFY(control.secure());
            continue;
        }
        QVERIFY(!control.command(sent.at(i - 1)).isEmpty());
    }
    QCOMPARE(control.socket.isEncrypted(), dropAt > 1);
    // No reply, and the connection ends.
    QCOMPARE(control.command(sent.at(dropAt - 1)), QString());
    QVERIFY(control.waitClosed());
    QCOMPARE(server.commands().size(), dropAt);
    QCOMPARE(server.commands().last(),
             dropAt == 3 ? QStringLiteral("PASS ****") : QString::fromLatin1(sent.at(dropAt - 1)));
}

void TestTlsServer::handshakeDelay()
{
    constexpr int delayMs = 300;
    constexpr int slackMs = 50;
    TestFtpServer server;
    QVERIFY2(server.startTls(*certs, QStringLiteral("good"),
                             {QStringLiteral("--tls-handshake-delay"), QString::number(delayMs)}),
             qPrintable(server.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(server.host(), server.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.command("AUTH TLS").startsWith(QLatin1String("234")));
    QElapsedTimer clock;
    clock.start();
    control.socket.startClientEncryption();
    QVERIFY(TlsControl::waitEncrypted(control.socket));
    // The hold starts as the 234 leaves, a little before the clock here.
    QVERIFY2(clock.elapsed() >= delayMs - slackMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(control.login(server.user(), server.password()));
    QVERIFY(control.protect());
    const QByteArray ticket = control.sessionTicket();
    const quint16 dataPort = extendedPassivePort(control.command("EPSV"));
    QVERIFY(dataPort != 0);
    clock.restart();
    DataChannel data;
    data.open(control, server.host(), dataPort, ticket);
    QVERIFY(TlsControl::waitEncrypted(data.socket));
    QVERIFY2(clock.elapsed() >= delayMs, qPrintable(QString::number(clock.elapsed())));
    // Without the switch the same handshakes are quick.
    TestFtpServer quick;
    QVERIFY2(quick.startTls(*certs), qPrintable(quick.errorString()));
    TlsControl fast(trustingConfiguration(*certs));
    QVERIFY(fast.open(quick.host(), quick.port()));
    QVERIFY(fast.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(fast.command("AUTH TLS").startsWith(QLatin1String("234")));
    clock.restart();
    fast.socket.startClientEncryption();
    QVERIFY(TlsControl::waitEncrypted(fast.socket));
    QVERIFY2(clock.elapsed() < delayMs - slackMs, qPrintable(QString::number(clock.elapsed())));
}

void TestTlsServer::vsftpdTls()
{
    if (const QString why = TestVsftpd::unavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    TestVsftpd vsftpd;
    QVERIFY2(
        vsftpd.start(certs->path(QStringLiteral("good")), certs->keyPath(QStringLiteral("good"))),
        qPrintable(vsftpd.errorString()));
    QVERIFY(vsftpd.isRunning());
    QVERIFY(vsftpd.commands().isEmpty());

    TlsControl clear(trustingConfiguration(*certs));
    QVERIFY(clear.open(vsftpd.host(), vsftpd.port()));
    QVERIFY(clear.reply().startsWith(QLatin1String("220 ")));
    QCOMPARE(clear.command("USER anonymous").left(3), QStringLiteral("530"));

    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(vsftpd.host(), vsftpd.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.secure());
    QVERIFY(control.errors.isEmpty());
    QCOMPARE(colonHex(control.socket.peerCertificate().digest(QCryptographicHash::Sha256)),
             certs->fingerprint(QStringLiteral("good")));
    QVERIFY(control.login(vsftpd.user(), vsftpd.password()));
    QVERIFY(control.protect());
    QVERIFY(control.command("TYPE I").startsWith(QLatin1String("200")));
    QVERIFY(
        control.command("CWD " + vsftpd.uploadFolder().toUtf8()).startsWith(QLatin1String("250")));
    const QByteArray ticket = control.sessionTicket();
    const quint16 dataPort = extendedPassivePort(control.command("EPSV"));
    QVERIFY(dataPort != 0);
    DataChannel data;
    data.open(control, vsftpd.host(), dataPort, ticket);
    QString reply = control.command("STOR sample.bin");
    QVERIFY2(reply.startsWith(QLatin1String("150")), qPrintable(reply));
    QVERIFY(TlsControl::waitEncrypted(data.socket));
    const QByteArray sent = sampleData(50000);
    QVERIFY(data.upload(sent));
    reply = control.reply();
    QVERIFY2(reply.startsWith(QLatin1String("226")), qPrintable(reply));
    QFile stored(vsftpd.uploadPath() + QStringLiteral("/sample.bin"));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll() == sent);

    // A data connection with a new session: 522, and vsftpd ends the session.
    TlsControl refused(trustingConfiguration(*certs));
    QVERIFY(refused.open(vsftpd.host(), vsftpd.port()));
    QVERIFY(refused.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(refused.secure());
    QVERIFY(refused.login(vsftpd.user(), vsftpd.password()));
    QVERIFY(refused.protect());
    QVERIFY(
        refused.command("CWD " + vsftpd.uploadFolder().toUtf8()).startsWith(QLatin1String("250")));
    const quint16 refusedPort = extendedPassivePort(refused.command("EPSV"));
    QVERIFY(refusedPort != 0);
    DataChannel fresh;
    fresh.open(refused, vsftpd.host(), refusedPort, QByteArray());
    reply = refused.command("STOR other.bin");
    QVERIFY2(reply.startsWith(QLatin1String("150")), qPrintable(reply));
    // vsftpd answers once the client is done with the connection.
    QVERIFY(TlsControl::waitEncrypted(fresh.socket));
    fresh.socket.write(sent);
    fresh.socket.disconnectFromHost();
    QVERIFY(fresh.waitClosed());
    reply = refused.reply();
    QVERIFY2(reply.startsWith(QLatin1String("522")), qPrintable(reply));
    QVERIFY(refused.waitClosed());

    QVERIFY(control.command("QUIT").startsWith(QLatin1String("221")));
    QTRY_VERIFY_WITH_TIMEOUT(vsftpd.commands().contains(QStringLiteral("QUIT")), waitMs);
    const QStringList commands = vsftpd.commands();
    QCOMPARE(commands.first(), QStringLiteral("USER anonymous"));
    for (const QString &expected : {QStringLiteral("AUTH TLS"), QStringLiteral("PBSZ 0"),
                                    QStringLiteral("PROT P"), QStringLiteral("STOR sample.bin")})
        QVERIFY2(commands.contains(expected), qPrintable(commands.join(u',')));
    vsftpd.clearCommands();
    QVERIFY(vsftpd.commands().isEmpty());
}

void TestTlsServer::vsftpdPlain()
{
    if (const QString why = TestVsftpd::unavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    TestVsftpd vsftpd;
    QVERIFY2(vsftpd.startPlain(), qPrintable(vsftpd.errorString()));
    TlsControl control(trustingConfiguration(*certs));
    QVERIFY(control.open(vsftpd.host(), vsftpd.port()));
    QVERIFY(control.reply().startsWith(QLatin1String("220 ")));
    QVERIFY(control.command("AUTH TLS").startsWith(QLatin1Char('5')));
    QVERIFY(!control.socket.isEncrypted());
    QVERIFY(control.login(vsftpd.user(), vsftpd.password()));
    QVERIFY(
        control.command("CWD " + vsftpd.uploadFolder().toUtf8()).startsWith(QLatin1String("250")));
    QVERIFY(control.command("MKD nouveau").startsWith(QLatin1String("257")));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(vsftpd.uploadPath() + QStringLiteral("/nouveau")).isDir(),
                             waitMs);
}

QTEST_GUILESS_MAIN(TestTlsServer)
#include "tst_tlsserver.moc"
