#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

// A bare FTP control connection for proving the servers: what is sent and
// answered, nothing more. The socket (plain, or TLS for the FTPS tests)
// belongs to the derived class.
class RawFtpControl
{
public:
    static constexpr int WaitMs = 5000;

    explicit RawFtpControl(QTcpSocket &socket) : m_socket(socket) {}

    bool open(const QString &host, quint16 port);
    void send(const QByteArray &line) { m_socket.write(line + "\r\n"); }
    // The last line of the next whole reply; empty when none came before the
    // bound or the server closed the connection first.
    QString reply();
    QString command(const QByteArray &line);
    bool waitClosed();

protected:
    // Bytes received but not part of any reply read so far.
    QByteArray buffer;

private:
    QString takeReply();

    QTcpSocket &m_socket;
};

// The port of a 229 reply, 0 when it names none.
quint16 extendedPassivePort(const QString &reply);
