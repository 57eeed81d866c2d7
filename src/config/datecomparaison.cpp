#include "config/datecomparaison.h"

#include <QCoreApplication>
#include <QDateTime>
#include <limits>

namespace {

constexpr qint64 compteMax = std::numeric_limits<quint32>::max();

} // namespace

quint32 compteDateStocke(const QVariant &valeur)
{
    bool ok = false;
    const qulonglong nombre = valeur.toString().trimmed().toULongLong(&ok);
    if (!ok)
        return 0;
    return static_cast<quint32>(nombre & 0xFFFFFFFFu);
}

QString texteDernierTransfert(quint32 compte)
{
    if (compte == 0)
        return QCoreApplication::translate("FenPrincipale", "Dernier transfert: jamais");
    const QDateTime moment = QDateTime::fromSecsSinceEpoch(compte);
    return QCoreApplication::translate("FenPrincipale", "Dernier transfert: le ") +
           moment.toString(QStringLiteral("dd/MM/yyyy 'à' hh:mm"));
}

QDate datePremiereComparaison()
{
    return QDateTime::fromSecsSinceEpoch(0).date();
}

QDate dateDerniereComparaison()
{
    return QDateTime::fromSecsSinceEpoch(compteMax).date();
}

quint32 compteDepuisDateLocale(const QDate &date, const QTime &heure)
{
    if (!date.isValid() || !heure.isValid())
        return 0;
    const QDateTime moment(date, heure);
    qint64 secondes = moment.toSecsSinceEpoch();
    if (!moment.isValid()) {
        // A local time skipped by a daylight-saving change: read it with the
        // offset in force just before the change, as a clock not yet moved would.
        const qint64 naif = QDateTime(date, heure, Qt::UTC).toSecsSinceEpoch();
        secondes = naif - QDateTime::fromSecsSinceEpoch(naif - 86400).offsetFromUtc();
    }
    if (secondes < 0)
        return 0;
    if (secondes > compteMax)
        return static_cast<quint32>(compteMax);
    return static_cast<quint32>(secondes);
}

DatesTransfert datesTransfert(quint32 dateStockee, quint32 maintenant)
{
    DatesTransfert dates;
    dates.horlogeReculee = dateStockee > maintenant;
    dates.fichiers = dates.horlogeReculee ? 0 : dateStockee;
    dates.annees = dates.horlogeReculee ? maintenant : dateStockee;
    return dates;
}
