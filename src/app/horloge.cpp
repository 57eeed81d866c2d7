#include "app/horloge.h"

QString texteHorloge(qint64 millisecondes)
{
    // A clock read before it was started has no meaningful elapsed time.
    if (millisecondes < 0)
        millisecondes = 0;
    const qint64 minutes = millisecondes / 60000;
    const qint64 secondes = millisecondes / 1000 - 60 * minutes;
    return QStringLiteral("%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(secondes, 2, 10, QLatin1Char('0'));
}
