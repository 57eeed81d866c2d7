// The upload of one device: transfer type, passive data connection, STOR and
// the flow-controlled streaming of the content.
#include "ftpclient_p.h"

#include "ftppassivereply.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

bool isIpv6Peer(const QHostAddress &address)
{
    bool mappedV4 = false;
    address.toIPv4Address(&mappedV4);
    return address.protocol() == QAbstractSocket::IPv6Protocol && !mappedV4;
}

} // namespace

void FtpClient::Private::beginPut()
{
    QIODevice *device = current->device;
    if (!device) {
        // Gone while the replies of an aborted exchange were awaited.
        fail(FtpClient::UnknownError, FtpClient::tr("The device to upload from was destroyed"));
        return;
    }
    putTotal = device->isSequential() ? -1 : qMax<qint64>(0, device->size() - device->pos());
    putDone = 0;
    putStreaming = false;
    putSendingDone = false;
    storSent = false;
    dataConnected = false;
    putDataError.clear();
    putRefusal.clear();
    encoder.reset();
    if (tlsSession && state != FtpClient::LoggedIn) {
        fail(FtpClient::NotConnected, FtpClient::tr("The data connections are not protected"));
        return;
    }
    // Content that a sequential device delivers later wakes the pump up.
    deviceReadyRead = QObject::connect(device, &QIODevice::readyRead, q, [this] { pump(); });
    deviceFinished =
        QObject::connect(device, &QIODevice::readChannelFinished, q, [this] { pump(); });

    const int wanted = current->type == FtpClient::Ascii ? FtpClient::Ascii : FtpClient::Binary;
    if (transferType != wanted) {
        step = Step::WaitingForType;
        sendLine("TYPE", wanted == FtpClient::Ascii ? QStringLiteral("A") : QStringLiteral("I"));
        return;
    }
    requestPassive();
}

void FtpClient::Private::requestPassive()
{
    step = Step::WaitingForPassive;
    // A 227 reply can only carry an IPv4 address, so IPv6 needs EPSV.
    putUsingEpsv = featEpsv || isIpv6Peer(control->peerAddress());
    sendLine(putUsingEpsv ? QByteArray("EPSV") : QByteArray("PASV"));
}

void FtpClient::Private::handlePutReply(const FtpReply &reply)
{
    switch (step) {
    case Step::WaitingForType:
        if (!reply.isCompletion()) {
            fail(FtpClient::UnknownError, reply.text);
            return;
        }
        transferType = current->type == FtpClient::Ascii ? FtpClient::Ascii : FtpClient::Binary;
        requestPassive();
        return;
    case Step::WaitingForPassive: {
        if (putUsingEpsv && reply.isNegative() && !isIpv6Peer(control->peerAddress())) {
            // Listed but refused: PASV still works on IPv4.
            featEpsv = false;
            putUsingEpsv = false;
            sendLine("PASV");
            return;
        }
        const int expected = putUsingEpsv ? 229 : 227;
        if (reply.code != expected) {
            fail(FtpClient::UnknownError, reply.text);
            return;
        }
        const quint16 port = putUsingEpsv ? FtpPassiveReply::epsvPort(reply.text)
                                          : FtpPassiveReply::pasvPort(reply.text);
        if (port == 0) {
            fail(FtpClient::UnknownError,
                 FtpClient::tr("Cannot read the data port in the server's reply: %1")
                     .arg(reply.text));
            return;
        }
        connectData(port);
        // Once the passive ports are known to be reachable, the STOR and the
        // connection share one round trip. The first data connection of a
        // connection is made before the STOR: where a firewall blocks them,
        // a server that opens the file on STOR would otherwise empty every
        // file it is asked for.
        if (dataPathProven && data && step == Step::WaitingForDataConnection)
            sendStor();
        return;
    }
    case Step::WaitingForStor:
        if (!putDataError.isEmpty()) {
            fail(FtpClient::UnknownError, reply.isNegative() ? reply.text : putDataError);
        } else if (reply.isNegative()) {
            if (!windDownRefusedData(reply.text))
                fail(FtpClient::UnknownError, reply.text);
        } else if (!putSendingDone) {
            // A server that ends the transfer before it had everything would
            // leave a cut file behind while claiming success.
            fail(FtpClient::UnknownError,
                 FtpClient::tr("The server ended the transfer before all data was sent: %1")
                     .arg(reply.text));
        } else {
            succeed();
        }
        return;
    default:
        return;
    }
}

void FtpClient::Private::connectData(quint16 port)
{
    step = Step::WaitingForDataConnection;
    data = newSocket(tlsSession);
    if (auto *ssl = qobject_cast<QSslSocket *>(data)) {
        // The control connection's configuration carries its session, which
        // the data connection resumes. Without authorities: the data
        // connection is held to the very certificate the control connection
        // accepted (onDataSslErrors), and the backend has no authority list to
        // load into the context it makes afresh for every file: that took
        // half the processor time of an upload over TLS.
        QSslConfiguration configuration = qobject_cast<QSslSocket *>(control)->sslConfiguration();
        configuration.setCaCertificates({});
        dataSessionLight = lightenDataSession(&configuration);
        ssl->setSslConfiguration(configuration);
        ssl->setPeerVerifyName(qobject_cast<QSslSocket *>(control)->peerVerifyName());
        QObject::connect(ssl, &QSslSocket::encrypted, q, [this] { pump(); });
        QObject::connect(ssl, &QSslSocket::encryptedBytesWritten, q, [this] {
            pump();
            endDataStream();
        });
        QObject::connect(ssl, &QSslSocket::sslErrors, q,
                         [this](const QList<QSslError> &errors) { onDataSslErrors(errors); });
    }
    QObject::connect(data, &QAbstractSocket::connected, q, [this] { onDataConnected(); });
    QObject::connect(data, &QAbstractSocket::bytesWritten, q, [this] { pump(); });
    QObject::connect(data, &QAbstractSocket::errorOccurred, q,
                     [this](QAbstractSocket::SocketError) {
                         if (data)
                             onDataFailure(data->errorString());
                     });
    QObject::connect(data, &QAbstractSocket::disconnected, q,
                     [this] { onDataFailure(FtpClient::tr("closed by the server")); });
    // The address in a 227 reply is ignored on purpose (see FtpPassiveReply).
    // Unbuffered, a plain socket hands each chunk straight to the system
    // instead of copying it into a buffer of its own first; TLS needs its
    // buffer for the records.
    QIODevice::OpenMode mode = QIODevice::ReadWrite;
    if (!tlsSession)
        mode |= QIODevice::Unbuffered;
    data->connectToHost(control->peerAddress(), port, mode);
}

void FtpClient::Private::onDataConnected()
{
    if (!isRunning() || !data)
        return;
    if (step == Step::WaitingForDataConnection) {
        dataConnected = true;
        dataPathProven = true;
        sendStor();
    } else if (step == Step::WaitingForStor && !dataConnected) {
        dataConnected = true;
    } else {
        return;
    }
    // The handshake runs while the STOR is answered: one round trip less.
    if (tlsSession)
        startDataEncryption();
    // The 1xx may have come before the connection was seen.
    pump();
}

void FtpClient::Private::sendStor()
{
    step = Step::WaitingForStor;
    storSent = true;
    storClock.start();
    // Nothing is written before the 1xx: a server that refuses the STOR then
    // never sees a byte of the file.
    sendLine("STOR", current->argument);
    // Out now, not at the next turn of the event loop: over TLS that turn
    // would first build the data connection's context (a quarter of a
    // millisecond), and the server's answer waits for the STOR.
    if (control)
        control->flush();
}

bool FtpClient::Private::storAwaitsConnection() const
{
    return step == Step::WaitingForStor && data && !dataConnected && !putStreaming;
}

void FtpClient::Private::onDataFailure(const QString &why)
{
    if (!data || !isRunning())
        return;
    if (putSendingDone) {
        // Our own end of the stream; the final reply tells the outcome.
        return;
    }
    if (step == Step::WaitingForDataConnection) {
        const QString text = FtpClient::tr("Data connection failed: %1").arg(why);
        teardownData();
        fail(FtpClient::UnknownError, text);
        return;
    }
    if (step == Step::WaitingForStor && !dataConnected) {
        // The server waits for a connection that will never come, even when
        // its 1xx came first, and how it ends that wait (its own time-out,
        // one reply or two) differs from one server to the next: only a new
        // connection is sure to be in step.
        connectionLost(FtpClient::tr("Data connection failed: %1").arg(why));
        return;
    }
    if (step != Step::WaitingForStor)
        return;
    putDataError = FtpClient::tr("Data connection lost: %1").arg(why);
    teardownData();
    // The server owes a final reply to the STOR; wait for it a little, since
    // its text says more than the socket's.
    dataGraceTimer.start(protocolTimeoutMs);
}

void FtpClient::Private::pump()
{
    if (!isRunning() || step != Step::WaitingForStor || !putStreaming || putSendingDone ||
        !dataReady() || !putDataError.isEmpty())
        return;
    if (readBuffer.size() != ChunkSize)
        readBuffer.resize(ChunkSize);
    const bool ascii = current->type == FtpClient::Ascii;
    const int id = current->id;
    QPointer<FtpClient> alive(q);
    // Unbuffered, what the system did not take waits in the socket; the next
    // chunk would only be copied in behind it.
    const qint64 limit = tlsSession ? HighWater : 1;
    while (pendingDataBytes() < limit) {
        // Read anew each turn: a slot of the progress signal may have
        // deleted the device.
        QIODevice *device = current->device;
        if (!device) {
            failTransfer(FtpClient::tr("The device to upload from was destroyed"));
            return;
        }
        const qint64 n = device->read(readBuffer.data(), ChunkSize);
        if (n < 0) {
            failTransfer(
                FtpClient::tr("Cannot read the data to upload: %1").arg(device->errorString()));
            return;
        }
        if (n == 0) {
            if (device->isSequential() && !device->atEnd())
                return; // more will come with readyRead
            putSendingDone = true;
            endDataStream();
            return;
        }
        qint64 written;
        if (ascii)
            written = data->write(encoder.encode(readBuffer.constData(), n));
        else
            written = data->write(readBuffer.constData(), n);
        if (written < 0) {
            // Unbuffered, a plain socket meets a lost connection here first,
            // before it reports it: handled as if it had.
            if (!tlsSession) {
                onDataFailure(data->errorString());
                return;
            }
            failTransfer(FtpClient::tr("Cannot send the data: %1").arg(data->errorString()));
            return;
        }
        putDone += n;
        emit q->dataTransferProgress(putDone, putTotal);
        if (!alive || !isRunning() || current->id != id || step != Step::WaitingForStor || !data)
            return;
    }
}

void FtpClient::Private::endDataStream()
{
    if (!data || !putSendingDone || !isRunning() || step != Step::WaitingForStor)
        return;
    // Closing the data connection is what ends a STOR stream. Over TLS the
    // close must wait for the last record to leave: the alert that closes
    // the session is otherwise lost with the connection, and a server that
    // sees the stream end without it (vsftpd) rejects the whole file.
    if (tlsSession && pendingDataBytes() > 0)
        return;
    if (data->state() == QAbstractSocket::ConnectedState)
        data->disconnectFromHost();
}

qint64 FtpClient::Private::pendingDataBytes() const
{
    // Encrypted bytes wait in a buffer of their own, which must be bounded too.
    const qint64 pending = data->bytesToWrite();
    if (auto *ssl = qobject_cast<QSslSocket *>(data))
        return pending + ssl->encryptedBytesToWrite();
    return pending;
}

bool FtpClient::Private::windDownRefusedData(const QString &refusal)
{
    // A TLS data connection that the server saw open when it refused the
    // STOR makes some servers (pyftpdlib) send one more reply, "226", once it
    // is closed. Read as the answer to the next command, it would put every
    // later exchange of the session off by one. So the connection is closed
    // now and the reply waited for a little, about twice the time the STOR
    // took to be answered; a server that sends none (vsftpd) costs only that.
    if (!qobject_cast<QSslSocket *>(data) || !dataConnected)
        return false;
    putRefusal = refusal;
    teardownData();
    step = Step::WaitingForDataWindDown;
    const qint64 wait = qBound(qint64(50), 2 * storClock.elapsed() + 20, qint64(protocolTimeoutMs));
    dataGraceTimer.start(int(wait));
    return true;
}

void FtpClient::Private::endWindDown()
{
    if (!isRunning() || step != Step::WaitingForDataWindDown)
        return;
    fail(FtpClient::UnknownError, putRefusal);
}

void FtpClient::Private::failTransfer(const QString &why)
{
    abortTransfer();
    fail(FtpClient::UnknownError, why);
}

void FtpClient::Private::abortTransfer()
{
    // A STOR still open is ended by ABOR, so that the server neither keeps
    // waiting nor takes the cut stream for a complete file. Its final reply
    // and ABOR's own (426 then 226, or a lone 225/226) are then counted and
    // thrown away.
    if (step == Step::WaitingForStor && awaitingReply) {
        awaitingReply = false;
        countStrayReply();
        sendLine("ABOR");
        awaitingReply = false;
        countStrayReply();
    } else if (awaitingReply) {
        awaitingReply = false;
        countStrayReply();
    }
    teardownData();
}

void FtpClient::Private::teardownData()
{
    dataGraceTimer.stop();
    if (deviceReadyRead)
        QObject::disconnect(deviceReadyRead);
    if (deviceFinished)
        QObject::disconnect(deviceFinished);
    if (!data)
        return;
    QTcpSocket *socket = data;
    data = nullptr;
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}
