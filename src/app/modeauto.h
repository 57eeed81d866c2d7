#pragma once

#include <QStringList>

// True when one argument is exactly "/auto" or "/Auto"; the program path at
// position 0 takes part in the search like any other element.
bool estModeAuto(const QStringList &arguments);
