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
