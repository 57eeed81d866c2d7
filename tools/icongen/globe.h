#pragma once

#include <QImage>

enum class GlobeStyle {
    Shaded, // gradient sea, antialiased
    Flat    // the classic 16 colours only, no antialiasing: for 16-colour icon entries
};

// Draws the program's globe, `size` pixels square, with the lower `twelfths`/12 of the disc's
// height painted red (0: plain globe, 12: wholly red disc). Transparent outside the disc.
QImage drawGlobe(int size, int twelfths, GlobeStyle style = GlobeStyle::Shaded);
