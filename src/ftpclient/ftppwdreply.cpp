#include "ftppwdreply.h"

namespace FtpPwdReply {

QString folder(const QString &text)
{
    const QString line = text.section(QLatin1Char('\n'), 0, 0);
    const qsizetype debut = line.indexOf(QLatin1Char('"'));
    if (debut < 0)
        return QString();
    QString nom;
    for (qsizetype i = debut + 1; i < line.size(); ++i) {
        if (line.at(i) != QLatin1Char('"')) {
            nom += line.at(i);
            continue;
        }
        if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
            nom += QLatin1Char('"');
            ++i;
            continue;
        }
        return nom.startsWith(QLatin1Char('/')) ? nom : QString();
    }
    return QString(); // no closing quote
}

} // namespace FtpPwdReply
