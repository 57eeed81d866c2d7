#include "ftpreplyparser.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace {

// Replies are UTF-8 (RFC 2640), but servers on Windows answer in their 8-bit
// code page (a French IIS sends "550 Accès refusé." in cp1252): a line that is
// not UTF-8 is read as Latin-1 rather than have its accents turned into
// replacement signs.
QString lineText(const QByteArray &line)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(line);
    return utf8.hasError() ? QString::fromLatin1(line) : text;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The three digits of a reply line, or 0 when the line does not start with a
// code whose first digit is 1 to 5 (the only ones RFC 959 defines).
int replyCode(const QByteArray &line)
{
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return 0;
    if (line[0] < '1' || line[0] > '5')
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

QString tr(const char *text)
{
    return QCoreApplication::translate("FtpReplyParser", text);
}

} // namespace

bool FtpReplyParser::feed(const QByteArray &bytes)
{
    if (hasError())
        return false;
    m_pending.append(bytes);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n', start);
        if (end < 0)
            break;
        qsizetype length = end - start;
        // CRLF is the rule; a bare LF is accepted as well.
        if (length > 0 && m_pending[end - 1] == '\r')
            --length;
        if (length > MaxLineLength) {
            fail(tr("The server sent a reply line longer than %1 bytes").arg(MaxLineLength));
            return false;
        }
        if (!parseLine(m_pending.mid(start, length)))
            return false;
        start = end + 1;
    }
    m_pending.remove(0, start);
    if (m_pending.size() > MaxLineLength + 1) {
        fail(tr("The server sent a reply line longer than %1 bytes").arg(MaxLineLength));
        return false;
    }
    return true;
}

bool FtpReplyParser::parseLine(const QByteArray &line)
{
    const int code = replyCode(line);
    if (m_multiCode != 0) {
        m_lines.append(lineText(line));
        // Only "<same code><space>" (or the bare code) ends a multi-line
        // reply; inner lines may hold anything, even other codes.
        if (code == m_multiCode && (line.size() == 3 || line[3] == ' ')) {
            m_replies.append(FtpReply{m_multiCode, m_lines.join(QLatin1Char('\n'))});
            m_multiCode = 0;
            m_lines.clear();
        } else if (m_lines.size() > MaxReplyLines) {
            fail(tr("The server sent a reply of more than %1 lines").arg(MaxReplyLines));
            return false;
        }
        return true;
    }
    if (code == 0 || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
        QString shown = lineText(line.left(80));
        fail(tr("Malformed reply line from the server: \"%1\"").arg(shown));
        return false;
    }
    if (line.size() > 3 && line[3] == '-') {
        m_multiCode = code;
        m_lines = QStringList{lineText(line)};
        return true;
    }
    m_replies.append(FtpReply{code, lineText(line)});
    return true;
}

void FtpReplyParser::fail(const QString &why)
{
    m_error = why;
    m_pending.clear();
    m_lines.clear();
    m_multiCode = 0;
}

void FtpReplyParser::reset()
{
    m_pending.clear();
    m_multiCode = 0;
    m_lines.clear();
    m_replies.clear();
    m_error.clear();
}
