#include "globe.h"

#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;

void paintGlobe(QPainter &painter, double side, double lineWidth, bool fewLines, GlobeStyle style)
{
    const double centre = side / 2.0;
    const double margin = side / 32.0;
    const double radius = centre - margin;
    const QPointF middle(centre, centre);

    QRadialGradient sea(QPointF(centre - 0.35 * radius, centre - 0.35 * radius), 1.35 * radius);
    sea.setColorAt(0.0, QColor(135, 195, 250));
    sea.setColorAt(0.55, QColor(40, 110, 205));
    sea.setColorAt(1.0, QColor(12, 50, 135));
    painter.setPen(Qt::NoPen);
    if (style == GlobeStyle::Flat) {
        painter.setBrush(QColor(0, 0, 255));
    } else {
        painter.setBrush(sea);
    }
    painter.drawEllipse(middle, radius, radius);

    // Everything after the disc is drawn "atop" it: it lands only where the disc already is and
    // keeps the disc's own alpha, so no line or fill ever leaks past the antialiased rim.
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.setBrush(Qt::NoBrush);
    const int lineAlpha = style == GlobeStyle::Flat ? 255 : 235;
    painter.setPen(QPen(QColor(255, 255, 255, lineAlpha), lineWidth, Qt::SolidLine, Qt::FlatCap));

    const QList<double> angles = fewLines ? QList<double>{45.0} : QList<double>{30.0, 60.0};

    // Meridians: the central one is a straight line, the others ellipses widening with longitude.
    painter.drawLine(QPointF(centre, centre - radius), QPointF(centre, centre + radius));
    for (double degrees : angles) {
        const double rx = radius * std::sin(degrees * pi / 180.0);
        painter.drawEllipse(middle, rx, radius);
    }

    // Parallels: chords at the latitudes' heights, plus the equator.
    painter.drawLine(QPointF(centre - radius, centre), QPointF(centre + radius, centre));
    for (double degrees : angles) {
        const double dy = radius * std::sin(degrees * pi / 180.0);
        const double half = radius * std::cos(degrees * pi / 180.0);
        painter.drawLine(QPointF(centre - half, centre - dy), QPointF(centre + half, centre - dy));
        painter.drawLine(QPointF(centre - half, centre + dy), QPointF(centre + half, centre + dy));
    }

    // A darker rim gives the disc its edge on light task bars.
    painter.setPen(style == GlobeStyle::Flat ? QPen(QColor(0, 0, 128), lineWidth)
                                             : QPen(QColor(8, 35, 100, 200), lineWidth));
    painter.drawEllipse(middle, radius - lineWidth / 2.0, radius - lineWidth / 2.0);
}

void paintRed(QPainter &painter, double side, int twelfths)
{
    if (twelfths <= 0) {
        return;
    }
    const double centre = side / 2.0;
    const double radius = centre - side / 32.0;
    const double bottom = centre + radius;
    const double top = bottom - 2.0 * radius * std::min(twelfths, 12) / 12.0;
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(QRectF(0.0, top, side, side - top), QColor(215, 25, 25));
}

} // namespace

QImage drawGlobe(int size, int twelfths, GlobeStyle style)
{
    // Small icons are drawn four times larger and reduced, so their grid lines blend into the
    // blue instead of snapping to whole pixels. Flat ones must keep their exact colours.
    const bool flat = style == GlobeStyle::Flat;
    const int factor = (size < 64 && !flat) ? 4 : 1;
    const int side = size * factor;
    const double lineWidth = std::max(1.0, size / 64.0) * factor;

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, !flat);
        paintGlobe(painter, side, lineWidth, size < 32, style);
        paintRed(painter, side, twelfths);
    }
    if (factor != 1) {
        image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    // The resolution is written into the PNG; left alone it would follow the build machine.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}
