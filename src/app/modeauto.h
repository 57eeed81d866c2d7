#pragma once

#include <QStringList>

// True when one argument is exactly "/auto" or "/Auto"; the program path at
// position 0 takes part in the search like any other element.
bool estModeAuto(const QStringList &arguments);

// What an automatic run refused by the single-instance marker prints: a
// scheduler shows no more than the exit code. holder is 0 when unknown.
QString texteDejaLance(qint64 holder);
