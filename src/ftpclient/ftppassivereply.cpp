#include "ftppassivereply.h"

#include <QRegularExpression>

namespace FtpPassiveReply {

quint16 pasvPort(const QString &text)
{
    // RFC 1123: the numbers need not be in parentheses, so look for the group
    // anywhere in the text.
    static const QRegularExpression group(QStringLiteral(
        "(?<![0-9,])(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3})"
        "(?![0-9,])"));
    // The reply's own code must not be read as h1.
    const QRegularExpressionMatch match = group.match(text, 3);
    if (!match.hasMatch())
        return 0;
    for (int i = 1; i <= 6; ++i) {
        if (match.captured(i).toInt() > 255)
            return 0;
    }
    const int port = match.captured(5).toInt() * 256 + match.captured(6).toInt();
    return static_cast<quint16>(port);
}

quint16 epsvPort(const QString &text)
{
    // The delimiter is any printable character other than a digit; "|" in
    // practice.
    static const QRegularExpression group(QStringLiteral("\\(([!-/:-~])\\1\\1(\\d{1,5})\\1\\)"));
    const QRegularExpressionMatch match = group.match(text, 3);
    if (!match.hasMatch())
        return 0;
    const int port = match.captured(2).toInt();
    if (port <= 0 || port > 65535)
        return 0;
    return static_cast<quint16>(port);
}

} // namespace FtpPassiveReply
