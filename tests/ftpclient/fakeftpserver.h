#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A scripted FTP server on 127.0.0.1 inside the test process, for the protocol
// corners a real server never shows: replies cut in pieces, 1xx then 2xx,
// garbage, a 227 naming a foreign address, a connection dropped at a chosen
// command, a command never answered. One client session at a time.
class FakeFtpServer : public QObject
{
    Q_OBJECT

public:
    explicit FakeFtpServer(QObject *parent = nullptr);
    ~FakeFtpServer() override;

    bool listen();
    quint16 port() const { return m_control.serverPort(); }

    // Sent on each new connection; empty means the server stays silent.
    void setGreeting(const QByteArray &bytes) { m_greeting = bytes; }
    // Replaces the built-in answer to a verb with these raw bytes (CRLF
    // included); empty bytes mean the verb is never answered.
    void setReply(const QByteArray &verb, const QByteArray &bytes) { m_replies[verb] = bytes; }
    // Features listed in the answer to FEAT.
    void setFeatures(const QList<QByteArray> &features) { m_features = features; }
    // The control connection is closed as soon as this verb arrives.
    void setDropOn(const QByteArray &verb) { m_dropOn = verb; }
    // Replies go out one byte per event-loop turn.
    void setTrickle(bool on) { m_trickle = on; }
    // The address announced in the 227 reply, as four comma-separated numbers.
    void setPasvAddress(const QByteArray &address) { m_pasvAddress = address; }
    // The reply once a STOR's data connection ended; empty means never.
    void setStorFinal(const QByteArray &bytes) { m_storFinal = bytes; }
    // The server closes the data connection after this many bytes, then
    // answers the STOR with `reply` (empty: never).
    void setDataDropAfter(qint64 bytes,
                          const QByteArray &reply = "426 Connection closed; transfer aborted\r\n")
    {
        m_dataDropAfter = bytes;
        m_dataDropReply = reply;
    }

    QList<QByteArray> commands() const { return m_commands; }
    QList<QByteArray> verbs() const;
    QByteArray rawReceived() const { return m_raw; }
    QByteArray storedData() const { return m_stored; }
    int connectionCount() const { return m_connections; }
    int dataConnectionCount() const { return m_dataConnections; }
    bool isStorActive() const { return m_storActive; }
    bool hasClient() const
    {
        return m_client && m_client->state() == QAbstractSocket::ConnectedState;
    }

    void send(const QByteArray &bytes);
    void dropClient();

signals:
    void commandReceived(const QByteArray &line);
    void storeEnded();

private:
    void onNewConnection();
    void onClientReadyRead();
    void handleCommand(const QByteArray &line);
    void openDataListener();
    void onDataConnection();
    void onDataReadyRead();
    void onDataEnded();
    void flushTrickle();

    QTcpServer m_control;
    QTcpServer m_dataListener;
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_data;
    QByteArray m_inbox;
    QByteArray m_trickleQueue;
    QTimer m_trickleTimer;

    QByteArray m_greeting = "220 Fake server ready\r\n";
    QHash<QByteArray, QByteArray> m_replies;
    QList<QByteArray> m_features{"UTF8"};
    QByteArray m_dropOn;
    bool m_trickle = false;
    QByteArray m_pasvAddress = "127,0,0,1";
    QByteArray m_storFinal = "226 Transfer complete\r\n";
    qint64 m_dataDropAfter = -1;
    QByteArray m_dataDropReply;

    QList<QByteArray> m_commands;
    QByteArray m_raw;
    QByteArray m_stored;
    bool m_storActive = false;
    int m_connections = 0;
    int m_dataConnections = 0;
};
