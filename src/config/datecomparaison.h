#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>
#include <QtGlobal>

// The comparison time is an unsigned 32-bit count of seconds since
// 1970-01-01 00:00 UTC; dates are shown and chosen in local time.

// The count held by a stored "Config/Date" value: its low 32 bits, or 0 when
// the value is missing or not an unsigned number.
quint32 compteDateStocke(const QVariant &valeur);

// "Dernier transfert: jamais" for 0, otherwise the local date and time.
QString texteDernierTransfert(quint32 compte);

// First and last local dates that hold a moment the count can express.
QDate datePremiereComparaison();
QDate dateDerniereComparaison();

// The count for a local date and time, brought within the count's range.
quint32 compteDepuisDateLocale(const QDate &date, const QTime &heure);

// What a run compares with, from the recorded count and the clock.
struct DatesTransfert
{
    quint32 fichiers = 0; // files modified after this moment are sent
    quint32 annees = 0;   // year folders before this moment's year are skipped
    // The recorded count is later than now: the clock was set back since (a
    // flat motherboard battery, a correction by hand). The pages written since
    // carry earlier dates than the count, and the run records its own start:
    // compared with the count, they would never be sent unless rewritten. So
    // every file is compared, and the old year folders are those before the
    // current year.
    bool horlogeReculee = false;
};
DatesTransfert datesTransfert(quint32 dateStockee, quint32 maintenant);
