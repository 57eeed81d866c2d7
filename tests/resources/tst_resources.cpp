// Checks the tray images as the program reaches them (compiled in under ":/Nuvola/") and the
// directory of the Windows icon file shipped next to them.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

constexpr int imageSide = 128;

QString trayImagePath(int k)
{
    return QStringLiteral(":/Nuvola/Nuvola%1.png").arg(k);
}

QImage trayImage(int k)
{
    return QImage(trayImagePath(k)).convertToFormat(QImage::Format_ARGB32);
}

// Faint antialiased rim pixels carry too little colour to judge.
bool solid(QRgb pixel)
{
    return qAlpha(pixel) >= 128;
}

bool isRed(QRgb pixel)
{
    return solid(pixel) && qRed(pixel) >= 150 && qGreen(pixel) <= 90 && qBlue(pixel) <= 90;
}

bool isWhitish(QRgb pixel)
{
    return solid(pixel) && qRed(pixel) >= 200 && qGreen(pixel) >= 200 && qBlue(pixel) >= 200;
}

struct Disc
{
    int top = -1;
    int bottom = -1; // last solid row
    int left = -1;
    int right = -1;
    double centreX() const { return (left + right + 1) / 2.0; }
    double centreY() const { return (top + bottom + 1) / 2.0; }
    double radius() const { return (bottom - top + 1) / 2.0; }
    int height() const { return bottom - top + 1; }
};

Disc solidBounds(const QImage &image)
{
    Disc disc;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!solid(image.pixel(x, y))) {
                continue;
            }
            if (disc.top < 0) {
                disc.top = y;
            }
            disc.bottom = y;
            if (disc.left < 0 || x < disc.left) {
                disc.left = x;
            }
            if (x > disc.right) {
                disc.right = x;
            }
        }
    }
    return disc;
}

double distanceToCentre(const Disc &disc, int x, int y)
{
    return std::hypot(x + 0.5 - disc.centreX(), y + 0.5 - disc.centreY());
}

int firstRedRow(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isRed(image.pixel(x, y))) {
                return y;
            }
        }
    }
    return -1;
}

// Share of the solid pixels that are red.
double redFraction(const QImage &image)
{
    int solidCount = 0;
    int redCount = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            solidCount += solid(pixel) ? 1 : 0;
            redCount += isRed(pixel) ? 1 : 0;
        }
    }
    return solidCount == 0 ? 0.0 : double(redCount) / solidCount;
}

// Share of a disc's area lying below a chord drawn at the given share of its height, from the
// bottom.
double segmentShare(double filledShareOfHeight)
{
    const double pi = 3.14159265358979323846;
    const double h = 2.0 * filledShareOfHeight; // in radii
    const double d = 1.0 - h;
    const double area = std::acos(d) - d * std::sqrt(std::max(0.0, 1.0 - d * d));
    return area / pi;
}

quint16 u16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

struct IconEntry
{
    int width = 0;
    int height = 0;
    int colourCount = 0;
    int bitCount = 0;
    quint32 size = 0;
    quint32 offset = 0;
};

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private:
    Disc idleDisc;
    QList<IconEntry> iconEntries;
    QByteArray iconBytes;

private slots:
    void initTestCase();
    void trayImageLoads_data();
    void trayImageLoads();
    void idleImageIsAPlainGlobe();
    void redFillRisesFromTheBottom_data();
    void redFillRisesFromTheBottom();
    void redShareGrowsWithEachStep();
    void lastImageIsAWholeRedDisc();
    void iconHoldsEverySizeAndDepth_data();
    void iconHoldsEverySizeAndDepth();
    void iconDecodes();
};

void TestResources::initTestCase()
{
    // The images live in a static library; without this its resource object is never linked.
    Q_INIT_RESOURCE(nuvola);

    const QImage idle = trayImage(0);
    QVERIFY2(!idle.isNull(), "idle tray image missing");
    idleDisc = solidBounds(idle);
    QVERIFY(idleDisc.top >= 0);

    QFile ico(QStringLiteral(NUVOLA_ICO_FILE));
    QVERIFY2(ico.open(QIODevice::ReadOnly), qPrintable(ico.fileName()));
    iconBytes = ico.readAll();
    QVERIFY(iconBytes.size() >= 6);
    QCOMPARE(u16(iconBytes, 0), quint16(0));
    QCOMPARE(u16(iconBytes, 2), quint16(1)); // 1: icon, 2: cursor
    const int count = u16(iconBytes, 4);
    QVERIFY(count > 0);
    QVERIFY(iconBytes.size() >= 6 + 16 * count);
    for (int i = 0; i < count; ++i) {
        const int at = 6 + 16 * i;
        IconEntry entry;
        // A zero byte stands for 256 pixels.
        entry.width = static_cast<unsigned char>(iconBytes.at(at)) == 0
                          ? 256
                          : static_cast<unsigned char>(iconBytes.at(at));
        entry.height = static_cast<unsigned char>(iconBytes.at(at + 1)) == 0
                           ? 256
                           : static_cast<unsigned char>(iconBytes.at(at + 1));
        entry.colourCount = static_cast<unsigned char>(iconBytes.at(at + 2));
        entry.bitCount = u16(iconBytes, at + 6);
        entry.size = u32(iconBytes, at + 8);
        entry.offset = u32(iconBytes, at + 12);
        QVERIFY2(quint64(entry.offset) + entry.size <= quint64(iconBytes.size()),
                 qPrintable(QStringLiteral("entry %1 runs past the end of the file").arg(i)));
        iconEntries.append(entry);
    }
}

void TestResources::trayImageLoads_data()
{
    QTest::addColumn<int>("k");
    for (int k = 0; k <= 12; ++k) {
        QTest::addRow("Nuvola%d", k) << k;
    }
}

void TestResources::trayImageLoads()
{
    QFETCH(int, k);
    const QImage image = trayImage(k);
    QVERIFY2(!image.isNull(), qPrintable(trayImagePath(k)));
    QCOMPARE(image.size(), QSize(imageSide, imageSide));
    QVERIFY(QImage(trayImagePath(k)).hasAlphaChannel());
    // Transparent corners: the tray shows a disc, not a square.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(imageSide - 1, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(0, imageSide - 1)), 0);
    QCOMPARE(qAlpha(image.pixel(imageSide - 1, imageSide - 1)), 0);
    // Every step keeps the idle globe's outline: the red never spills past the disc.
    const Disc disc = solidBounds(image);
    QCOMPARE(disc.top, idleDisc.top);
    QCOMPARE(disc.bottom, idleDisc.bottom);
    QCOMPARE(disc.left, idleDisc.left);
    QCOMPARE(disc.right, idleDisc.right);
}

void TestResources::idleImageIsAPlainGlobe()
{
    const QImage image = trayImage(0);
    // A round, centred disc of a sensible size.
    QCOMPARE(idleDisc.right - idleDisc.left, idleDisc.bottom - idleDisc.top);
    QVERIFY(idleDisc.height() >= imageSide * 3 / 4);
    QVERIFY(std::abs(idleDisc.centreX() - imageSide / 2.0) <= 1.0);
    QVERIFY(std::abs(idleDisc.centreY() - imageSide / 2.0) <= 1.0);

    int blue = 0;
    int white = 0;
    int inside = 0;
    for (int y = 0; y < imageSide; ++y) {
        for (int x = 0; x < imageSide; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const double distance = distanceToCentre(idleDisc, x, y);
            QVERIFY2(!isRed(pixel), qPrintable(QStringLiteral("red at %1,%2").arg(x).arg(y)));
            if (distance > idleDisc.radius() + 1.0) {
                QVERIFY2(
                    qAlpha(pixel) == 0,
                    qPrintable(QStringLiteral("opaque outside the disc at %1,%2").arg(x).arg(y)));
            } else if (distance < idleDisc.radius() - 1.0) {
                QVERIFY2(qAlpha(pixel) == 255,
                         qPrintable(QStringLiteral("hole in the disc at %1,%2").arg(x).arg(y)));
                ++inside;
                white += isWhitish(pixel) ? 1 : 0;
                blue += (qBlue(pixel) > qRed(pixel) + 40 && qBlue(pixel) > qGreen(pixel)) ? 1 : 0;
            }
        }
    }
    // Mostly blue sea, with the white grid of meridians and parallels drawn over it.
    QVERIFY2(blue > inside / 2, qPrintable(QStringLiteral("%1 blue of %2").arg(blue).arg(inside)));
    QVERIFY2(white > inside / 20,
             qPrintable(QStringLiteral("%1 white of %2").arg(white).arg(inside)));
    QVERIFY2(white < inside / 2,
             qPrintable(QStringLiteral("%1 white of %2").arg(white).arg(inside)));
    // The equator and the central meridian cross at the centre.
    QVERIFY(isWhitish(image.pixel(imageSide / 2, imageSide / 2)) ||
            isWhitish(image.pixel(imageSide / 2 - 1, imageSide / 2 - 1)));
}

void TestResources::redFillRisesFromTheBottom_data()
{
    QTest::addColumn<int>("k");
    for (int k = 1; k <= 12; ++k) {
        QTest::addRow("%d twelfths", k) << k;
    }
}

void TestResources::redFillRisesFromTheBottom()
{
    QFETCH(int, k);
    const QImage image = trayImage(k);
    const int first = firstRedRow(image);
    QVERIFY2(first >= 0, "no red at all");
    const double expected = idleDisc.top + idleDisc.height() * (12 - k) / 12.0;
    QVERIFY2(
        std::abs(first - expected) <= 2.0,
        qPrintable(
            QStringLiteral("red starts at row %1, expected about %2").arg(first).arg(expected)));

    // Below the fill line the disc is red wall to wall; above it nothing is.
    for (int y = 0; y < imageSide; ++y) {
        for (int x = 0; x < imageSide; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const bool wellInside = distanceToCentre(idleDisc, x, y) < idleDisc.radius() - 1.0;
            if (y > first && wellInside) {
                QVERIFY2(isRed(pixel),
                         qPrintable(QStringLiteral("not red at %1,%2").arg(x).arg(y)));
            } else if (y < first) {
                QVERIFY(!isRed(pixel));
            }
        }
    }
}

void TestResources::redShareGrowsWithEachStep()
{
    double previous = -1.0;
    for (int k = 0; k <= 12; ++k) {
        const double share = redFraction(trayImage(k));
        QVERIFY2(
            share > previous,
            qPrintable(
                QStringLiteral("image %1: red share %2 after %3").arg(k).arg(share).arg(previous)));
        // The fill is by height, so its area follows the circular segment, not k/12.
        const double expected = segmentShare(k / 12.0);
        QVERIFY2(std::abs(share - expected) <= 0.03,
                 qPrintable(QStringLiteral("image %1: red share %2, expected about %3")
                                .arg(k)
                                .arg(share)
                                .arg(expected)));
        previous = share;
    }
    QCOMPARE(redFraction(trayImage(0)), 0.0);
}

void TestResources::lastImageIsAWholeRedDisc()
{
    const QImage image = trayImage(12);
    for (int y = 0; y < imageSide; ++y) {
        for (int x = 0; x < imageSide; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const QString where = QStringLiteral("%1,%2").arg(x).arg(y);
            if (solid(pixel)) {
                // No grid line and no blue rim shows through.
                QVERIFY2(isRed(pixel), qPrintable(where));
            }
            if (distanceToCentre(idleDisc, x, y) < idleDisc.radius() - 1.0) {
                QVERIFY2(qAlpha(pixel) == 255 && isRed(pixel), qPrintable(where));
            }
        }
    }
}

void TestResources::iconHoldsEverySizeAndDepth_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("bitCount");
    for (int side : {16, 24, 32, 48}) {
        for (int bits : {4, 8, 32}) {
            QTest::addRow("%d px, %d-bit", side, bits) << side << bits;
        }
    }
}

void TestResources::iconHoldsEverySizeAndDepth()
{
    QFETCH(int, side);
    QFETCH(int, bitCount);
    int found = -1;
    for (int i = 0; i < iconEntries.size(); ++i) {
        const IconEntry &entry = iconEntries.at(i);
        if (entry.width == side && entry.height == side && entry.bitCount == bitCount) {
            QVERIFY2(found < 0, "the same size and depth appears twice");
            found = i;
        }
    }
    QVERIFY2(found >= 0, "missing from the icon's directory");
    const IconEntry &entry = iconEntries.at(found);
    QCOMPARE(entry.colourCount, bitCount == 4 ? 16 : 0);

    // The entry itself: an uncompressed BMP whose height counts the colour image and its mask.
    QVERIFY(entry.size >= 40);
    const int at = int(entry.offset);
    QCOMPARE(u32(iconBytes, at), quint32(40));
    QCOMPARE(int(u32(iconBytes, at + 4)), side);
    QCOMPARE(int(u32(iconBytes, at + 8)), 2 * side);
    QCOMPARE(u16(iconBytes, at + 12), quint16(1));
    QCOMPARE(int(u16(iconBytes, at + 14)), bitCount);
    QCOMPARE(u32(iconBytes, at + 16), quint32(0));
    const int colours = bitCount <= 8 ? (1 << bitCount) : 0;
    const int xorStride = (side * bitCount + 31) / 32 * 4;
    const int andStride = (side + 31) / 32 * 4;
    QCOMPARE(int(entry.size), 40 + 4 * colours + (xorStride + andStride) * side);
}

void TestResources::iconDecodes()
{
    QVERIFY2(QImageReader::supportedImageFormats().contains("ico"), "no ico image plugin");
    QImageReader reader(QStringLiteral(NUVOLA_ICO_FILE));
    QCOMPARE(reader.imageCount(), iconEntries.size());
    QSet<int> sides;
    for (int i = 0; i < iconEntries.size(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), iconEntries.at(i).width);
        // The mask leaves the corners see-through at every size and depth.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(qAlpha(image.pixel(image.width() / 2, image.height() / 2)) == 255);
        sides.insert(image.width());
    }
    QCOMPARE(sides, (QSet<int>{16, 24, 32, 48}));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
