// Explicit TLS (RFC 4217): AUTH TLS before the login, PBSZ 0 and PROT P after
// it, and data connections that resume the control connection's TLS session.
#include "ftpclient_p.h"

#include "ftptlssessionder.h"

#include <QCryptographicHash>
#include <QSslCipher>
#include <QSslSocket>

namespace {

QSslSocket *asSsl(QTcpSocket *socket)
{
    return qobject_cast<QSslSocket *>(socket);
}

QString protocolName(QSsl::SslProtocol protocol)
{
    switch (protocol) {
    case QSsl::TlsV1_2:
        return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3:
        return QStringLiteral("TLS 1.3");
    default:
        return QStringLiteral("TLS");
    }
}

} // namespace

QTcpSocket *FtpClient::Private::newSocket(bool encrypted)
{
    if (!encrypted)
        return new QTcpSocket(q);
    auto *socket = new QSslSocket(q);
    QSslConfiguration configuration =
        tlsBase ? *tlsBase : QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // TLS 1.2 exactly. A TLS 1.3 server sends its session tickets late, once
    // the upload has begun; the data connection, closed as soon as the file
    // is sent, then gets reset with them in flight, and vsftpd (among
    // others) throws the file away with a 426.
    configuration.setProtocol(QSsl::TlsV1_2);
    // The session must be kept to be resumed by the data connections:
    // servers such as vsftpd refuse a data connection that does not.
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    socket->setSslConfiguration(configuration);
    return socket;
}

void FtpClient::Private::beginAuthTls()
{
    step = Step::WaitingForAuthTls;
    sendLine("AUTH", QStringLiteral("TLS"));
}

void FtpClient::Private::handleTlsReply(const FtpReply &reply)
{
    switch (step) {
    case Step::WaitingForAuthTls: {
        QSslSocket *ssl = asSsl(control);
        if (reply.code != 234 || !ssl) {
            tlsFailed(FtpClient::TlsRefused,
                      FtpClient::tr("The server refuses TLS: %1").arg(reply.text));
            return;
        }
        // Bytes after the 234 came in clear, before any handshake: they may
        // have been put there on the way, and would be read as the first
        // replies of the protected channel. A sound server sends nothing more.
        if (parser.hasReply() || parser.isInsideReply()) {
            tlsFailed(FtpClient::TlsHandshakeFailed,
                      FtpClient::tr("The server sent clear text after accepting TLS"));
            return;
        }
        step = Step::WaitingForTlsHandshake;
        QObject::connect(ssl, &QSslSocket::encrypted, q, [this] { onControlEncrypted(); });
        QObject::connect(ssl, &QSslSocket::sslErrors, q,
                         [this](const QList<QSslError> &errors) { onControlSslErrors(errors); });
        // The name checked is the one the user typed, not what it resolves to.
        ssl->setPeerVerifyName(current->argument);
        ssl->startClientEncryption();
        return;
    }
    case Step::WaitingForPbsz:
        if (!reply.isCompletion()) {
            tlsFailed(FtpClient::TlsProtectionRefused,
                      FtpClient::tr("The server refuses to protect the data: %1").arg(reply.text));
            return;
        }
        step = Step::WaitingForProt;
        sendLine("PROT", QStringLiteral("P"));
        return;
    case Step::WaitingForProt:
        if (!reply.isCompletion()) {
            tlsFailed(FtpClient::TlsProtectionRefused,
                      FtpClient::tr("The server refuses to protect the data: %1").arg(reply.text));
            return;
        }
        setState(FtpClient::LoggedIn);
        succeed();
        return;
    default:
        return;
    }
}

void FtpClient::Private::onControlEncrypted()
{
    QSslSocket *ssl = asSsl(control);
    if (!ssl || !isRunning() || step != Step::WaitingForTlsHandshake)
        return;
    acceptedCertificate = ssl->peerCertificate();
    tlsChain = ssl->peerCertificateChain();
    step = Step::WaitingForFeat;
    // Features are asked on the protected channel, where they cannot have
    // been tampered with.
    sendLine("FEAT");
}

void FtpClient::Private::onControlSslErrors(const QList<QSslError> &errors)
{
    QSslSocket *ssl = asSsl(control);
    if (!ssl)
        return;
    const QSslCertificate certificate = ssl->peerCertificate();
    tlsChain = ssl->peerCertificateChain();
    if (!trustedDigest.isEmpty() && !certificate.isNull() &&
        certificate.digest(QCryptographicHash::Sha256) == trustedDigest) {
        ssl->ignoreSslErrors();
        return;
    }
    // Not ignored: the handshake fails and onControlError reports it.
    tlsErrorList = errors;
}

void FtpClient::Private::tlsFailed(FtpClient::TlsFailure why, const QString &text)
{
    tlsFailure = why;
    teardownData();
    teardownControl();
    QPointer<FtpClient> alive(q);
    setState(FtpClient::Unconnected);
    if (alive && isRunning() && !abortedPending)
        fail(FtpClient::UnknownError, text);
}

void FtpClient::Private::beginProtection()
{
    // PBSZ 0 is required before PROT even though TLS has no buffer size.
    step = Step::WaitingForPbsz;
    sendLine("PBSZ", QStringLiteral("0"));
}

void FtpClient::Private::startDataEncryption()
{
    QSslSocket *ssl = asSsl(data);
    if (ssl)
        ssl->startClientEncryption();
}

bool FtpClient::Private::lightenDataSession(QSslConfiguration *configuration)
{
    if (!acceptedCertificate || acceptedCertificate->isNull())
        return false;
    const QByteArray session = configuration->sessionTicket();
    if (session.isEmpty())
        return false;
    if (session != controlSession) {
        controlSession = session;
        // Only the OpenSSL backend's sessions have this form.
        lightSession = QSslSocket::activeBackend() == QLatin1String("openssl")
                           ? FtpTlsSessionDer::withoutPeerCertificate(session)
                           : QByteArray();
    }
    // The copy of the control connection's configuration knows its suite.
    const QSslCipher suite = configuration->sessionCipher();
    if (lightSession.isEmpty() || suite.isNull())
        return false;
    configuration->setSessionTicket(lightSession);
    // Only the control connection's suite, which authenticates the server by
    // its certificate: a data connection that shows none has then resumed
    // the session, and cannot be someone else's (onDataSslErrors).
    configuration->setCiphers({suite});
    return true;
}

void FtpClient::Private::onDataSslErrors(const QList<QSslError> &errors)
{
    QSslSocket *ssl = asSsl(data);
    if (ssl && dataSessionLight && ssl->peerCertificate().isNull() && errors.size() == 1 &&
        errors.first().error() == QSslError::NoPeerCertificate) {
        ssl->ignoreSslErrors();
        return;
    }
    // The certificate the control connection accepted (verified, or trusted
    // by the user) is accepted on the data connections of the same session.
    if (ssl && acceptedCertificate && !acceptedCertificate->isNull() &&
        ssl->peerCertificate() == *acceptedCertificate)
        ssl->ignoreSslErrors();
}

bool FtpClient::Private::dataReady() const
{
    if (!tlsSession)
        return data && dataConnected;
    QSslSocket *ssl = asSsl(data);
    return ssl && ssl->isEncrypted();
}

void FtpClient::setTlsEnabled(bool enabled)
{
    d->tlsWanted = enabled;
}

bool FtpClient::isTlsEnabled() const
{
    return d->tlsWanted;
}

void FtpClient::setTlsConfiguration(const QSslConfiguration &configuration)
{
    d->tlsBase = configuration;
}

void FtpClient::setTrustedCertificateDigest(const QByteArray &sha256)
{
    d->trustedDigest = sha256;
}

bool FtpClient::isEncrypted() const
{
    QSslSocket *ssl = asSsl(d->control);
    return d->tlsSession && ssl && ssl->isEncrypted();
}

QSslCertificate FtpClient::peerCertificate() const
{
    return d->tlsChain.isEmpty() ? QSslCertificate() : d->tlsChain.first();
}

QList<QSslCertificate> FtpClient::peerCertificateChain() const
{
    return d->tlsChain;
}

QList<QSslError> FtpClient::tlsErrors() const
{
    return d->tlsErrorList;
}

FtpClient::TlsFailure FtpClient::tlsFailure() const
{
    return d->tlsFailure;
}

QString FtpClient::tlsDescription() const
{
    QSslSocket *ssl = asSsl(d->control);
    if (!isEncrypted())
        return QString();
    return QStringLiteral("%1, %2").arg(protocolName(ssl->sessionProtocol()),
                                        ssl->sessionCipher().name());
}
