// The control connection: connection, greeting, features, login, folders,
// closing, and the routing of every reply to the step that waits for it.
#include "ftpclient_p.h"
#include "ftppwdreply.h"

#include <QSslSocket>
#include <QTcpSocket>

void FtpClient::Private::beginConnect()
{
    if (control) {
        // A new connection replaces the old one without a QUIT: the caller
        // asked for a fresh session, not for the old one's orderly end.
        teardownData();
        teardownControl();
        setState(FtpClient::Unconnected);
    }
    featUtf8 = false;
    featEpsv = false;
    transferType = -1;
    dataPathProven = false;
    parser.reset();
    strayReplies = 0;
    awaitingReply = false;
    drainTimer.stop();
    tlsSession = tlsWanted;
    acceptedCertificate.reset();
    controlSession.clear();
    lightSession.clear();
    tlsChain.clear();
    tlsErrorList.clear();
    tlsFailure = FtpClient::NoTlsFailure;
    if (tlsSession && !QSslSocket::supportsSsl()) {
        tlsFailure = FtpClient::TlsHandshakeFailed;
        fail(FtpClient::UnknownError, FtpClient::tr("TLS is not available on this system"));
        return;
    }

    control = newSocket(tlsSession);
    QObject::connect(control, &QAbstractSocket::stateChanged, q,
                     [this](QAbstractSocket::SocketState s) { onControlStateChanged(s); });
    QObject::connect(control, &QAbstractSocket::connected, q, [this] { onControlConnected(); });
    QObject::connect(control, &QIODevice::readyRead, q, [this] { onControlReadyRead(); });
    QObject::connect(control, &QAbstractSocket::errorOccurred, q,
                     [this](QAbstractSocket::SocketError e) { onControlError(e); });
    QObject::connect(control, &QAbstractSocket::disconnected, q,
                     [this] { onControlDisconnected(); });
    step = Step::WaitingForTcpConnection;
    setState(FtpClient::HostLookup);
    if (!isRunning() || step != Step::WaitingForTcpConnection || !control)
        return;
    control->connectToHost(current->argument, current->port);
}

void FtpClient::Private::onControlStateChanged(QAbstractSocket::SocketState socketState)
{
    if (socketState == QAbstractSocket::ConnectingState && state == FtpClient::HostLookup)
        setState(FtpClient::Connecting);
}

void FtpClient::Private::onControlConnected()
{
    control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (state == FtpClient::HostLookup)
        setState(FtpClient::Connecting);
    if (isRunning() && step == Step::WaitingForTcpConnection) {
        step = Step::WaitingForGreeting220;
        awaitingReply = true;
        // The greeting may have come with the connection itself.
        if (control && control->bytesAvailable() > 0)
            onControlReadyRead();
    }
}

void FtpClient::Private::onControlError(QAbstractSocket::SocketError socketError)
{
    if (!control)
        return;
    if (isRunning() && step == Step::WaitingForTcpConnection) {
        const QString host = current->argument;
        FtpClient::Error code = FtpClient::UnknownError;
        QString text;
        if (socketError == QAbstractSocket::HostNotFoundError) {
            code = FtpClient::HostNotFound;
            text = FtpClient::tr("Host %1 not found").arg(host);
        } else if (socketError == QAbstractSocket::ConnectionRefusedError) {
            code = FtpClient::ConnectionRefused;
            text = FtpClient::tr("Connection refused to host %1").arg(host);
        } else {
            text = FtpClient::tr("Connection to %1 failed: %2").arg(host, control->errorString());
        }
        teardownControl();
        setState(FtpClient::Unconnected);
        fail(code, text);
        return;
    }
    if (isRunning() && step == Step::WaitingForTlsHandshake) {
        const bool rejected = !tlsErrorList.isEmpty();
        tlsFailed(rejected ? FtpClient::TlsCertificateRejected : FtpClient::TlsHandshakeFailed,
                  FtpClient::tr("TLS handshake failed: %1").arg(control->errorString()));
        return;
    }
    connectionLost(FtpClient::tr("Connection lost: %1").arg(control->errorString()));
}

void FtpClient::Private::onControlDisconnected()
{
    if (!control)
        return;
    if (isRunning() && step == Step::WaitingForTlsHandshake) {
        tlsFailed(FtpClient::TlsHandshakeFailed,
                  FtpClient::tr("The server closed the connection during the TLS handshake"));
        return;
    }
    connectionLost(FtpClient::tr("Connection closed by the server"));
}

void FtpClient::Private::connectionLost(const QString &why)
{
    if (!control)
        return;
    // What the server said before it went, such as the final reply of the
    // running command, still counts.
    if (control->bytesAvailable() > 0) {
        QPointer<QTcpSocket> same(control);
        onControlReadyRead();
        if (!same || control != same)
            return;
    }
    teardownData();
    teardownControl();
    QPointer<FtpClient> alive(q);
    setState(FtpClient::Unconnected);
    if (!alive || !isRunning() || abortedPending)
        return;
    if (current->command == FtpClient::Close) {
        succeed();
        return;
    }
    fail(FtpClient::NotConnected, why);
}

void FtpClient::Private::protocolError(const QString &why)
{
    teardownData();
    teardownControl();
    QPointer<FtpClient> alive(q);
    setState(FtpClient::Unconnected);
    if (alive && isRunning() && !abortedPending)
        fail(FtpClient::UnknownError, why);
}

void FtpClient::Private::onDrainTimeout()
{
    if (strayReplies == 0 || !control)
        return;
    // The server never ended the aborted exchange: the connection can no
    // longer tell whose reply is whose.
    connectionLost(FtpClient::tr("The server did not answer the abort; connection closed"));
}

void FtpClient::Private::teardownControl()
{
    drainTimer.stop();
    strayReplies = 0;
    awaitingReply = false;
    parser.reset();
    if (!control)
        return;
    QTcpSocket *socket = control;
    control = nullptr;
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

void FtpClient::Private::countStrayReply()
{
    ++strayReplies;
    if (!drainTimer.isActive())
        drainTimer.start(protocolTimeoutMs);
}

void FtpClient::Private::sendLine(const QByteArray &verb, const QString &argument)
{
    if (!control)
        return;
    QByteArray line = verb;
    if (!argument.isEmpty()) {
        line += ' ';
        // Names travel as UTF-8 (RFC 2640).
        line += argument.toUtf8();
    }
    line += "\r\n";
    control->write(line);
    awaitingReply = true;
}

void FtpClient::Private::onControlReadyRead()
{
    if (!control)
        return;
    QTcpSocket *socket = control;
    const bool fed = parser.feed(socket->readAll());
    QPointer<FtpClient> alive(q);
    while (parser.hasReply()) {
        dispatchReply(parser.takeReply());
        // A reply may end the connection, or a slot may delete the client.
        if (!alive || control != socket)
            return;
    }
    if (!fed)
        protocolError(parser.errorString());
}

void FtpClient::Private::dispatchReply(const FtpReply &reply)
{
    if (reply.isPreliminary()) {
        // A 1xx never ends an exchange; only the steps that expect one use it.
        if (strayReplies > 0 || !awaitingReply)
            return;
        if (step == Step::WaitingForStor && !putStreaming) {
            putStreaming = true;
            pump();
        }
        return;
    }
    if (strayReplies > 0) {
        if (--strayReplies == 0) {
            drainTimer.stop();
            if (isRunning() && step == Step::WaitingForDrain)
                beginCommand();
        }
        return;
    }
    if (isRunning() && step == Step::WaitingForDataWindDown) {
        endWindDown();
        return;
    }
    if (!awaitingReply || !isRunning())
        return; // unsolicited, such as a 421 before the server hangs up
    awaitingReply = false;
    handleReply(reply);
}

void FtpClient::Private::handleReply(const FtpReply &reply)
{
    switch (step) {
    case Step::WaitingForGreeting220:
        if (reply.code == 220) {
            setState(FtpClient::Connected);
            if (!isRunning() || step != Step::WaitingForGreeting220)
                return;
            if (tlsSession) {
                beginAuthTls();
                return;
            }
            step = Step::WaitingForFeat;
            sendLine("FEAT");
        } else {
            teardownControl();
            setState(FtpClient::Unconnected);
            fail(FtpClient::UnknownError, reply.text);
        }
        return;
    case Step::WaitingForFeat:
        handleFeat(reply);
        return;
    case Step::WaitingForOptsUtf8:
        // Servers that list UTF8 often use it without being asked; a refusal
        // changes nothing.
        succeed();
        return;
    case Step::WaitingForUser:
        if (reply.code == 331) {
            step = Step::WaitingForPass;
            QString password = current->secret;
            if (password.isEmpty() &&
                (current->argument.isEmpty() ||
                 current->argument.compare(QLatin1String("anonymous"), Qt::CaseInsensitive) == 0))
                password = QStringLiteral("anonymous@");
            sendLine("PASS", password);
            return;
        }
        [[fallthrough]];
    case Step::WaitingForPass:
        if (reply.isCompletion() && tlsSession) {
            beginProtection();
        } else if (reply.isCompletion()) {
            setState(FtpClient::LoggedIn);
            succeed();
        } else {
            // 332 (account wanted) is not supported, like every other refusal.
            fail(FtpClient::UnknownError, reply.text);
        }
        return;
    case Step::WaitingForCompletion:
        if (reply.isCompletion() && current->command == FtpClient::RawCommand)
            workingDirectory = FtpPwdReply::folder(reply.text);
        if (reply.isCompletion())
            succeed();
        else
            fail(FtpClient::UnknownError, reply.text);
        return;
    case Step::WaitingForQuit:
        finishClose();
        return;
    case Step::WaitingForAuthTls:
    case Step::WaitingForPbsz:
    case Step::WaitingForProt:
        handleTlsReply(reply);
        return;
    case Step::WaitingForType:
    case Step::WaitingForPassive:
    case Step::WaitingForStor:
        handlePutReply(reply);
        return;
    default:
        return;
    }
}

void FtpClient::Private::handleFeat(const FtpReply &reply)
{
    if (reply.code == 211) {
        // RFC 2389: one feature per line, each line begins with a space.
        const QStringList lines = reply.text.split(QLatin1Char('\n'));
        for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
            const QString name = lines[i].trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
            if (name == QLatin1String("UTF8"))
                featUtf8 = true;
            else if (name == QLatin1String("EPSV"))
                featEpsv = true;
        }
    }
    if (featUtf8) {
        step = Step::WaitingForOptsUtf8;
        sendLine("OPTS", QStringLiteral("UTF8 ON"));
        return;
    }
    succeed();
}

void FtpClient::Private::beginLogin()
{
    if (tlsSession && !q->isEncrypted()) {
        // Only reachable after an interrupted negotiation: the password must
        // never travel in clear.
        fail(FtpClient::NotConnected, FtpClient::tr("The connection is not encrypted"));
        return;
    }
    step = Step::WaitingForUser;
    const QString user =
        current->argument.isEmpty() ? QStringLiteral("anonymous") : current->argument;
    sendLine("USER", user);
}

void FtpClient::Private::beginSimple(const char *verb)
{
    step = Step::WaitingForCompletion;
    sendLine(verb, current->argument);
}

void FtpClient::Private::beginClose()
{
    step = Step::WaitingForQuit;
    sendLine("QUIT");
    closeTimer.start(protocolTimeoutMs);
    setState(FtpClient::Closing);
}

void FtpClient::Private::finishClose()
{
    teardownData();
    teardownControl();
    QPointer<FtpClient> alive(q);
    if (state != FtpClient::Closing && state != FtpClient::Unconnected)
        setState(FtpClient::Closing);
    if (alive)
        setState(FtpClient::Unconnected);
    if (alive && isRunning())
        succeed();
}
