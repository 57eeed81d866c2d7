#include "palettes.h"

QList<QRgb> windowsPalette16()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

QList<QRgb> cubePalette256()
{
    QList<QRgb> palette;
    palette.reserve(256);
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                palette.append(qRgb(r * 51, g * 51, b * 51));
            }
        }
    }
    // Greys between the cube's own six, for the globe's white lines on their antialiased edges.
    for (int i = 1; i <= 40; ++i) {
        const int level = (i * 255 + 20) / 41;
        palette.append(qRgb(level, level, level));
    }
    return palette;
}

int nearestIndex(const QList<QRgb> &palette, QRgb colour)
{
    int best = 0;
    int bestDistance = -1;
    for (int i = 0; i < palette.size(); ++i) {
        const int dr = qRed(palette.at(i)) - qRed(colour);
        const int dg = qGreen(palette.at(i)) - qGreen(colour);
        const int db = qBlue(palette.at(i)) - qBlue(colour);
        const int distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}
