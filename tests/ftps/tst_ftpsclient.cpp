// The client over explicit TLS against real servers: certificates checked
// against authorities and the typed name, a trusted digest, a server without
// TLS, data connections that must resume the control session, and data
// connections held to the certificate the control connection accepted.
#include "../ftpclient/recorder.h"
#include "ftpclient.h"
#include "ftptlssessionder.h"
#include "testcertificates.h"
#include "testftpserver.h"
#include "testvsftpd.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>

namespace {

constexpr int Bound = 15000;

QByteArray pattern(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 7 + i / 251) & 0xff);
    return out;
}

// TLS mandatory on the control and data connections, as most hosts set it.
QStringList tlsArgs(const TestCertificates &certs, const QString &name)
{
    return TestFtpServer::tlsArgs(certs, name) << QStringLiteral("--tls-required");
}

QSslConfiguration trusting(const TestCertificates &certs)
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificates(certs.caPath());
    return conf;
}

QByteArray digest(const TestCertificates &certs, const QString &name)
{
    return certs.certificate(name).digest(QCryptographicHash::Sha256);
}

bool waitDone(Recorder &rec, int count)
{
    return QTest::qWaitFor([&] { return rec.doneCount >= count; }, Bound);
}

bool hasError(const QList<QSslError> &errors, QSslError::SslError kind)
{
    for (const QSslError &e : errors)
        if (e.error() == kind)
            return true;
    return false;
}

} // namespace

class TstFtpsClient : public QObject
{
    Q_OBJECT

    TestCertificates m_certs;

private slots:
    void initTestCase()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QVERIFY2(m_certs.isValid(), qPrintable(m_certs.errorString()));
    }

    void certificateDecides_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<bool>("caTrusted");
        QTest::addColumn<QString>("trustedDigestOf");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("expectedError");
        const QString none;
        const int noError = int(QSslError::NoError);
        QTest::newRow("verified by the authority")
            << QStringLiteral("good") << true << none << true << noError;
        QTest::newRow("unknown authority") << QStringLiteral("good") << false << none << false
                                           << int(QSslError::UnableToGetLocalIssuerCertificate);
        QTest::newRow("self-signed") << QStringLiteral("selfsigned") << false << none << false
                                     << int(QSslError::SelfSignedCertificate);
        QTest::newRow("self-signed, trusted") << QStringLiteral("selfsigned") << false
                                              << QStringLiteral("selfsigned") << true << noError;
        QTest::newRow("self-signed, another one trusted")
            << QStringLiteral("selfsigned2") << false << QStringLiteral("selfsigned") << false
            << int(QSslError::SelfSignedCertificate);
        QTest::newRow("expired") << QStringLiteral("expired") << true << none << false
                                 << int(QSslError::CertificateExpired);
        QTest::newRow("expired, trusted as it is")
            << QStringLiteral("expired") << true << QStringLiteral("expired") << true << noError;
        QTest::newRow("name of another host") << QStringLiteral("wrongname") << true << none
                                              << false << int(QSslError::HostNameMismatch);
    }

    void certificateDecides()
    {
        QFETCH(QString, cert);
        QFETCH(bool, caTrusted);
        QFETCH(QString, trustedDigestOf);
        QFETCH(bool, accepted);
        QFETCH(int, expectedError);
        TestFtpServer server;
        QVERIFY2(server.start(tlsArgs(m_certs, cert)), qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        if (caTrusted)
            client.setTlsConfiguration(trusting(m_certs));
        if (!trustedDigestOf.isEmpty())
            client.setTrustedCertificateDigest(digest(m_certs, trustedDigestOf));
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        QVERIFY(waitDone(rec, 1));
        QCOMPARE(client.peerCertificate(), m_certs.certificate(cert));
        const QStringList commands = server.commands();
        if (accepted) {
            QCOMPARE(client.error(), FtpClient::NoError);
            QCOMPARE(client.state(), FtpClient::LoggedIn);
            QVERIFY(client.isEncrypted());
            QCOMPARE(client.tlsFailure(), FtpClient::NoTlsFailure);
            QVERIFY2(client.tlsDescription().startsWith(QStringLiteral("TLS 1.")),
                     qPrintable(client.tlsDescription()));
            QCOMPARE(commands.mid(0, 2),
                     (QStringList{QStringLiteral("AUTH TLS"), QStringLiteral("FEAT")}));
            QVERIFY(commands.indexOf(QStringLiteral("PBSZ 0")) >
                    commands.indexOf(QStringLiteral("PASS ****")));
            QCOMPARE(commands.indexOf(QStringLiteral("PROT P")),
                     commands.indexOf(QStringLiteral("PBSZ 0")) + 1);
        } else {
            QCOMPARE(client.error(), FtpClient::UnknownError);
            QCOMPARE(client.state(), FtpClient::Unconnected);
            QVERIFY(!client.isEncrypted());
            QCOMPARE(client.tlsFailure(), FtpClient::TlsCertificateRejected);
            QVERIFY2(hasError(client.tlsErrors(), QSslError::SslError(expectedError)),
                     qPrintable(client.errorString()));
            // Neither the name nor the password reached a server it could not trust.
            QCOMPARE(commands, QStringList{QStringLiteral("AUTH TLS")});
            QCOMPARE(rec.count(QStringLiteral("start")), 1);
        }
    }

    void serverWithoutTlsIsNeverUsedInClear_data()
    {
        QTest::addColumn<QStringList>("serverArgs");
        QTest::newRow("plain server") << QStringList();
        QTest::newRow("slow plain server")
            << QStringList({QStringLiteral("--reply-delay"), QStringLiteral("40")});
    }

    void serverWithoutTlsIsNeverUsedInClear()
    {
        QFETCH(QStringList, serverArgs);
        TestFtpServer server;
        QVERIFY2(server.start(serverArgs), qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        client.mkdir(QStringLiteral("never"));
        QVERIFY(waitDone(rec, 1));
        QCOMPARE(client.tlsFailure(), FtpClient::TlsRefused);
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(!client.errorString().isEmpty());
        QCOMPARE(server.commands(), QStringList{QStringLiteral("AUTH TLS")});
    }

    void wholeSessionOverTls_data()
    {
        QTest::addColumn<QStringList>("extraArgs");
        QTest::newRow("loopback") << QStringList();
        QTest::newRow("slow replies, late data accept")
            << QStringList({QStringLiteral("--reply-delay"), QStringLiteral("30"),
                            QStringLiteral("--accept-delay"), QStringLiteral("60")});
    }

    void wholeSessionOverTls()
    {
        QFETCH(QStringList, extraArgs);
        TestFtpServer server;
        QVERIFY2(server.start(tlsArgs(m_certs, QStringLiteral("good")) + extraArgs),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.setTlsConfiguration(trusting(m_certs));
        const QByteArray big = pattern(3 * 1024 * 1024 + 17);
        QBuffer bigDevice;
        bigDevice.setData(big);
        QVERIFY(bigDevice.open(QIODevice::ReadOnly));
        QBuffer textDevice;
        textDevice.setData("<p>\nmétéo\n</p>\n");
        QVERIFY(textDevice.open(QIODevice::ReadOnly));
        QBuffer emptyDevice;
        QVERIFY(emptyDevice.open(QIODevice::ReadOnly));
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        client.mkdir(QStringLiteral("www"));
        client.cd(QStringLiteral("www"));
        client.put(&bigDevice, QStringLiteral("radar.png"));
        client.put(&textDevice, QStringLiteral("index.htm"), FtpClient::Ascii);
        client.put(&emptyDevice, QStringLiteral("vide.txt"));
        client.close();
        QVERIFY(waitDone(rec, 1));
        QVERIFY2(!rec.lastDoneError, qPrintable(client.errorString()));
        QCOMPARE(server.serverFileContent(QStringLiteral("www/radar.png")), big);
        QCOMPARE(server.serverFileContent(QStringLiteral("www/index.htm")),
                 QByteArray("<p>\nmétéo\n</p>\n"));
        QVERIFY(server.serverFileExists(QStringLiteral("www/vide.txt")));
        QCOMPARE(server.serverFileContent(QStringLiteral("www/vide.txt")), QByteArray());
        QCOMPARE(server.commands().count(QStringLiteral("STOR radar.png")), 1);
    }

    void abortDuringNegotiationLeavesNothingInClear()
    {
        TestFtpServer server;
        QVERIFY2(server.start(tlsArgs(m_certs, QStringLiteral("good")) +
                              QStringList{QStringLiteral("--reply-delay"), QStringLiteral("200")}),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.setTlsConfiguration(trusting(m_certs));
        client.connectToHost(server.host(), server.port());
        QVERIFY(QTest::qWaitFor(
            [&] { return server.commands().contains(QStringLiteral("AUTH TLS")); }, Bound));
        client.abort();
        // What a caller queues next must not go out unprotected.
        const int login = client.login(server.user(), server.password());
        QVERIFY(waitDone(rec, 1));
        QVERIFY(rec.lastDoneError);
        QVERIFY(rec.events.contains(QStringLiteral("end %1 fail").arg(login)));
        QCOMPARE(client.state(), FtpClient::Unconnected);
        QVERIFY(!server.commands().contains(QStringLiteral("USER nuvola")));
    }

    // The data connections are held to the certificate the control connection
    // accepted, whether or not the server resumes the session on them.
    void dataConnectionCertificate_data()
    {
        QTest::addColumn<QString>("controlCert");
        QTest::addColumn<bool>("byDigest"); // trusted by the user, not by an authority
        QTest::addColumn<QString>("dataCert");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("verified, same certificate, session not resumed")
            << QStringLiteral("good") << false << QStringLiteral("good") << true;
        QTest::newRow("verified, then a self-signed one")
            << QStringLiteral("good") << false << QStringLiteral("selfsigned") << false;
        QTest::newRow("verified, then one of the same authority for another name")
            << QStringLiteral("good") << false << QStringLiteral("wrongname") << false;
        QTest::newRow("trusted, same certificate, session not resumed")
            << QStringLiteral("selfsigned") << true << QStringLiteral("selfsigned") << true;
        QTest::newRow("trusted, then another self-signed one")
            << QStringLiteral("selfsigned") << true << QStringLiteral("selfsigned2") << false;
        QTest::newRow("trusted, then one the authority vouches for")
            << QStringLiteral("selfsigned") << true << QStringLiteral("good") << false;
    }
    void dataConnectionCertificate()
    {
        QFETCH(QString, controlCert);
        QFETCH(bool, byDigest);
        QFETCH(QString, dataCert);
        QFETCH(bool, accepted);
        TestFtpServer server;
        QVERIFY2(server.start(tlsArgs(m_certs, controlCert)
                              << QStringLiteral("--tls-data-cert") << m_certs.path(dataCert)
                              << QStringLiteral("--tls-data-key") << m_certs.keyPath(dataCert)),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        // The authority stays known in both cases: only the pinning can
        // refuse the good certificate after a trusted self-signed one.
        client.setTlsConfiguration(trusting(m_certs));
        if (byDigest)
            client.setTrustedCertificateDigest(digest(m_certs, controlCert));
        const QByteArray content = pattern(50000);
        QBuffer device;
        device.setData(content);
        QVERIFY(device.open(QIODevice::ReadOnly));
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        const int put = client.put(&device, QStringLiteral("f.bin"));
        QVERIFY(waitDone(rec, 1));
        QCOMPARE(client.peerCertificate(), m_certs.certificate(controlCert));
        QCOMPARE(rec.lastDoneError, !accepted);
        QVERIFY2(
            rec.events.contains(
                QStringLiteral("end %1 %2").arg(put).arg(QLatin1String(accepted ? "ok" : "fail"))),
            qPrintable(rec.events.join(QLatin1Char(' '))));
        if (accepted)
            QCOMPARE(server.serverFileContent(QStringLiteral("f.bin")), content);
        else
            QVERIFY(server.serverFileContent(QStringLiteral("f.bin")).isEmpty());
    }

    // Each data connection gets the control connection's session without the
    // server's certificate, and must still resume it: this server refuses a
    // data connection that does not.
    void dataConnectionsResumeTheLightSession_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<bool>("byDigest");
        QTest::newRow("verified by the authority") << QStringLiteral("good") << false;
        QTest::newRow("trusted by the user") << QStringLiteral("selfsigned") << true;
        QTest::newRow("expired, trusted as it is") << QStringLiteral("expired") << true;
    }
    void dataConnectionsResumeTheLightSession()
    {
        QFETCH(QString, cert);
        QFETCH(bool, byDigest);
        TestFtpServer server;
        QVERIFY2(server.start(tlsArgs(m_certs, cert) << QStringLiteral("--tls-require-reuse")),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.setTlsConfiguration(trusting(m_certs));
        if (byDigest)
            client.setTrustedCertificateDigest(digest(m_certs, cert));
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        const QList<qsizetype> sizes{0, 1, 70000, 300000};
        QList<QByteArray> contents;
        for (int i = 0; i < sizes.size(); ++i) {
            contents.append(pattern(sizes.at(i)));
            auto *device = new QBuffer(&client);
            device->setData(contents.last());
            QVERIFY(device->open(QIODevice::ReadOnly));
            client.put(device, QStringLiteral("f%1.bin").arg(i));
        }
        client.close();
        QVERIFY(waitDone(rec, 1));
        QVERIFY2(!rec.lastDoneError, qPrintable(client.errorString()));
        for (int i = 0; i < sizes.size(); ++i)
            QCOMPARE(server.serverFileContent(QStringLiteral("f%1.bin").arg(i)), contents.at(i));
    }

    // A refused STOR leaves its data connection half made, and the server
    // may answer its closing late (pyftpdlib: "226" once the handshake on it
    // breaks off). The attempts queued right behind must each get their own
    // reply, and the session must still be resumed on their connections.
    void refusedStorThenAccepted_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<int>("type");
        QTest::newRow("verified, ASCII") << QStringLiteral("good") << int(FtpClient::Ascii);
        QTest::newRow("trusted, binary") << QStringLiteral("selfsigned") << int(FtpClient::Binary);
    }
    void refusedStorThenAccepted()
    {
        QFETCH(QString, cert);
        QFETCH(int, type);
        QList<bool> failed; // outlives the client, whose signal fills it
        TestFtpServer server;
        QVERIFY2(server.start(tlsArgs(m_certs, cert)
                              << QStringLiteral("--tls-require-reuse")
                              << QStringLiteral("--refuse-stor-count") << QStringLiteral("2")),
                 qPrintable(server.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.setTlsConfiguration(trusting(m_certs));
        client.setTrustedCertificateDigest(digest(m_certs, cert));
        client.connectToHost(server.host(), server.port());
        client.login(server.user(), server.password());
        QVERIFY(waitDone(rec, 1));
        QVERIFY2(!rec.lastDoneError, qPrintable(client.errorString()));
        // Each attempt starts as soon as the one before ends, as a run's do.
        const QByteArray content(100, 'x');
        const auto attempt = [&] {
            auto *device = new QBuffer(&client);
            device->setData(content);
            device->open(QIODevice::ReadOnly);
            client.put(device, QStringLiteral("f.bin"), FtpClient::TransferType(type));
        };
        QObject::connect(&client, &FtpClient::done, &client, [&](bool error) {
            failed.append(error);
            if (failed.size() < 4)
                attempt();
        });
        attempt();
        QTRY_VERIFY_WITH_TIMEOUT(failed.size() == 4, Bound);
        QCOMPARE(failed, (QList<bool>{true, true, false, false}));
        QCOMPARE(server.serverFileContent(QStringLiteral("f.bin")), content);
    }

    // On a session OpenSSL really made, only the certificate goes.
    void lightSessionOfARealSession()
    {
        if (QSslSocket::activeBackend() != QLatin1String("openssl"))
            QSKIP("sessions of another form");
        QFile keyFile(m_certs.keyPath(QStringLiteral("good")));
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        QSslConfiguration serving = QSslConfiguration::defaultConfiguration();
        serving.setLocalCertificate(m_certs.certificate(QStringLiteral("good")));
        serving.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
        serving.setProtocol(QSsl::TlsV1_2);
        QSslServer listener;
        listener.setSslConfiguration(serving);
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        QSslSocket socket;
        QSslConfiguration asking = trusting(m_certs);
        asking.setProtocol(QSsl::TlsV1_2);
        asking.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
        socket.setSslConfiguration(asking);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), listener.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(socket.isEncrypted(), Bound);
        const QByteArray session = socket.sslConfiguration().sessionTicket();
        const QByteArray der = m_certs.certificate(QStringLiteral("good")).toDer();
        QVERIFY(session.contains(der));
        const QByteArray light = FtpTlsSessionDer::withoutPeerCertificate(session);
        QVERIFY(!light.isEmpty());
        QVERIFY(!light.contains(der));
        // The certificate, its explicit tag and a shorter outer length.
        QVERIFY(light.size() <= session.size() - der.size() - 2);
        QVERIFY(light.size() >= session.size() - der.size() - 2 - 8);
        QVERIFY(FtpTlsSessionDer::withoutPeerCertificate(light).isEmpty());
    }

    void dataConnectionsResumeTheSession()
    {
        // vsftpd refuses, by default, any data connection whose TLS session
        // is not the control connection's.
        TestVsftpd vsftpd;
        if (!vsftpd.start(m_certs.path(QStringLiteral("good")),
                          m_certs.keyPath(QStringLiteral("good"))))
            QSKIP(qPrintable(vsftpd.errorString()));
        FtpClient client;
        Recorder rec(&client);
        client.setTlsEnabled(true);
        client.setTlsConfiguration(trusting(m_certs));
        QList<QByteArray> contents;
        QList<QBuffer *> devices;
        client.connectToHost(vsftpd.host(), vsftpd.port());
        client.login(vsftpd.user(), vsftpd.password());
        client.cd(vsftpd.uploadFolder());
        for (int i = 0; i < 4; ++i) {
            contents.append(pattern(100000 + (3 - i) * 70000));
            auto *device = new QBuffer(&client);
            device->setData(contents.last());
            QVERIFY(device->open(QIODevice::ReadOnly));
            devices.append(device);
            client.put(device, QStringLiteral("f%1.bin").arg(i));
        }
        client.close();
        QVERIFY(waitDone(rec, 1));
        QVERIFY2(!rec.lastDoneError, qPrintable(client.errorString()));
        for (int i = 0; i < 4; ++i) {
            QFile stored(vsftpd.uploadPath() + QStringLiteral("/f%1.bin").arg(i));
            QVERIFY(stored.open(QIODevice::ReadOnly));
            QCOMPARE(stored.readAll(), contents.at(i));
        }
    }
};

QTEST_GUILESS_MAIN(TstFtpsClient)
#include "tst_ftpsclient.moc"
