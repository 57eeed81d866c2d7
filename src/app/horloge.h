#pragma once

#include <QString>
#include <QtGlobal>

// Text of the status-bar clock for an elapsed time in milliseconds: whole
// minutes on at least two digits (no upper limit), a colon, seconds on two.
QString texteHorloge(qint64 millisecondes);
