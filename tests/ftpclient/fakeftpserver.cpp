#include "fakeftpserver.h"

#include <QHostAddress>

FakeFtpServer::FakeFtpServer(QObject *parent) : QObject(parent)
{
    connect(&m_control, &QTcpServer::newConnection, this, &FakeFtpServer::onNewConnection);
    connect(&m_dataListener, &QTcpServer::newConnection, this, &FakeFtpServer::onDataConnection);
    m_trickleTimer.setInterval(0);
    connect(&m_trickleTimer, &QTimer::timeout, this, &FakeFtpServer::flushTrickle);
}

FakeFtpServer::~FakeFtpServer()
{
    // The accepted sockets are children of the listeners, destroyed after
    // the members their slots write to: a socket still connected would then
    // report its end into freed memory.
    for (QTcpServer *listener : {&m_control, &m_dataListener}) {
        const auto sockets = listener->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
        for (QTcpSocket *socket : sockets)
            socket->disconnect(this);
    }
}

bool FakeFtpServer::listen()
{
    return m_control.listen(QHostAddress::LocalHost, 0);
}

QList<QByteArray> FakeFtpServer::verbs() const
{
    QList<QByteArray> out;
    for (const QByteArray &line : m_commands)
        out << line.split(' ').first().toUpper();
    return out;
}

void FakeFtpServer::send(const QByteArray &bytes)
{
    if (!m_client || bytes.isEmpty())
        return;
    if (m_trickle) {
        m_trickleQueue += bytes;
        m_trickleTimer.start();
        return;
    }
    m_client->write(bytes);
    m_client->flush();
}

void FakeFtpServer::flushTrickle()
{
    if (!m_client || m_trickleQueue.isEmpty()) {
        m_trickleTimer.stop();
        return;
    }
    m_client->write(m_trickleQueue.left(1));
    m_client->flush();
    m_trickleQueue.remove(0, 1);
}

void FakeFtpServer::dropClient()
{
    if (m_client)
        m_client->disconnectFromHost();
}

void FakeFtpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_control.nextPendingConnection()) {
        if (m_client)
            m_client->abort();
        m_client = socket;
        ++m_connections;
        m_inbox.clear();
        m_trickleQueue.clear();
        connect(socket, &QTcpSocket::readyRead, this, &FakeFtpServer::onClientReadyRead);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        send(m_greeting);
    }
}

void FakeFtpServer::onClientReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_client)
        return;
    const QByteArray bytes = socket->readAll();
    m_raw += bytes;
    m_inbox += bytes;
    for (;;) {
        const qsizetype end = m_inbox.indexOf("\r\n");
        if (end < 0)
            break;
        const QByteArray line = m_inbox.left(end);
        m_inbox.remove(0, end + 2);
        handleCommand(line);
        if (socket != m_client)
            return;
    }
}

void FakeFtpServer::handleCommand(const QByteArray &line)
{
    m_commands << line;
    emit commandReceived(line);
    const QByteArray verb = line.split(' ').first().toUpper();
    if (!m_dropOn.isEmpty() && verb == m_dropOn) {
        dropClient();
        return;
    }
    if (m_replies.contains(verb)) {
        send(m_replies.value(verb));
        return;
    }
    if (verb == "USER") {
        send("331 Password required\r\n");
    } else if (verb == "PASS") {
        send("230 Logged in\r\n");
    } else if (verb == "FEAT") {
        QByteArray reply = "211-Features:\r\n";
        for (const QByteArray &f : m_features)
            reply += ' ' + f + "\r\n";
        send(reply + "211 End\r\n");
    } else if (verb == "OPTS" || verb == "TYPE") {
        send("200 OK\r\n");
    } else if (verb == "CWD") {
        send("250 Directory changed\r\n");
    } else if (verb == "MKD") {
        send("257 \"" + line.mid(4) + "\" created\r\n");
    } else if (verb == "PASV") {
        openDataListener();
        const quint16 p = m_dataListener.serverPort();
        send("227 Entering Passive Mode (" + m_pasvAddress + ',' + QByteArray::number(p / 256) +
             ',' + QByteArray::number(p % 256) + ")\r\n");
    } else if (verb == "EPSV") {
        openDataListener();
        send("229 Entering Extended Passive Mode (|||" +
             QByteArray::number(m_dataListener.serverPort()) + "|)\r\n");
    } else if (verb == "STOR") {
        m_stored.clear();
        m_storActive = true;
        send("150 Ready to receive\r\n");
    } else if (verb == "ABOR") {
        if (m_storActive) {
            m_storActive = false;
            if (m_data)
                m_data->abort();
            send("426 Transfer aborted\r\n226 ABOR successful\r\n");
        } else {
            send("225 No transfer to abort\r\n");
        }
    } else if (verb == "QUIT") {
        send("221 Goodbye\r\n");
        dropClient();
    } else {
        send("502 Command not implemented\r\n");
    }
}

void FakeFtpServer::openDataListener()
{
    if (!m_dataListener.isListening())
        m_dataListener.listen(QHostAddress::LocalHost, 0);
}

void FakeFtpServer::onDataConnection()
{
    while (QTcpSocket *socket = m_dataListener.nextPendingConnection()) {
        if (m_data)
            m_data->abort();
        m_data = socket;
        ++m_dataConnections;
        connect(socket, &QTcpSocket::readyRead, this, &FakeFtpServer::onDataReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_data)
                onDataEnded();
            socket->deleteLater();
        });
    }
}

void FakeFtpServer::onDataReadyRead()
{
    if (!m_data)
        return;
    m_stored += m_data->readAll();
    if (m_dataDropAfter >= 0 && m_stored.size() >= m_dataDropAfter && m_storActive) {
        m_storActive = false;
        QTcpSocket *socket = m_data;
        m_data = nullptr;
        socket->abort();
        socket->deleteLater();
        send(m_dataDropReply);
        emit storeEnded();
    }
}

void FakeFtpServer::onDataEnded()
{
    if (m_data && m_data->isOpen())
        m_stored += m_data->readAll();
    m_data = nullptr;
    if (!m_storActive)
        return;
    m_storActive = false;
    send(m_storFinal);
    emit storeEnded();
}
