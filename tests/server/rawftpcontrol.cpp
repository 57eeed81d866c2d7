#include "rawftpcontrol.h"

#include <QRegularExpression>
#include <QTest>

bool RawFtpControl::open(const QString &host, quint16 port)
{
    m_socket.connectToHost(host, port);
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; },
                           WaitMs);
}

QString RawFtpControl::reply()
{
    QString result;
    const bool settled = QTest::qWaitFor(
        [&] {
            result = takeReply();
            return !result.isEmpty() || m_socket.state() == QAbstractSocket::UnconnectedState;
        },
        WaitMs);
    // Bytes that came with the close are still in the socket's buffer.
    return settled && !result.isEmpty() ? result : takeReply();
}

QString RawFtpControl::command(const QByteArray &line)
{
    send(line);
    return reply();
}

bool RawFtpControl::waitClosed()
{
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; },
                           WaitMs);
}

QString RawFtpControl::takeReply()
{
    buffer += m_socket.readAll();
    QByteArray code;
    qsizetype pos = 0;
    while (true) {
        const qsizetype end = buffer.indexOf("\r\n", pos);
        if (end < 0)
            return {};
        const QByteArray line = buffer.mid(pos, end - pos);
        pos = end + 2;
        if (code.isEmpty() && line.size() >= 4 && line.at(3) == '-') {
            code = line.left(3);
            continue;
        }
        if (code.isEmpty() || line.startsWith(code + ' ')) {
            buffer.remove(0, pos);
            return QString::fromUtf8(line);
        }
    }
}

quint16 extendedPassivePort(const QString &reply)
{
    static const QRegularExpression pattern(QStringLiteral("\\(\\|\\|\\|(\\d+)\\|\\)"));
    const QRegularExpressionMatch match = pattern.match(reply);
    return match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
}
