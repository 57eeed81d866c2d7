#pragma once

#include <QList>
#include <QRgb>

// The 16 colours of the classic Windows palette, black first.
QList<QRgb> windowsPalette16();

// A fixed 256-colour palette: a 6x6x6 colour cube (black first) and a 40-step grey ramp.
QList<QRgb> cubePalette256();

// Index of the palette colour nearest to `colour` (alpha ignored); ties go to the lower index.
int nearestIndex(const QList<QRgb> &palette, QRgb colour);
