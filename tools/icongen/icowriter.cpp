#include "icowriter.h"

#include "palettes.h"

#include <QtEndian>

namespace {

void putU8(QByteArray &out, int value)
{
    out.append(static_cast<char>(value & 0xff));
}

void putU16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void putU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

int rowStride(int width, int bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

// Paletted entries have no alpha: a pixel is either shown or masked out.
bool opaque(QRgb pixel)
{
    return qAlpha(pixel) >= 128;
}

// A fixed 4x4 ordered dither softens the 256-colour cube's banding on the globe's gradient;
// fixed, so the output never varies. 16-colour images are expected in palette colours already.
QRgb dithered(QRgb pixel, int x, int y, int bitCount)
{
    if (bitCount != 8) {
        return pixel;
    }
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const int spread = 51;
    const int offset = (2 * bayer[y % 4][x % 4] + 1 - 16) * spread / 32;
    return qRgb(qBound(0, qRed(pixel) + offset, 255), qBound(0, qGreen(pixel) + offset, 255),
                qBound(0, qBlue(pixel) + offset, 255));
}

QByteArray bmpEntry(const QImage &source, int bitCount)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();
    const int xorStride = rowStride(width, bitCount);
    const int andStride = rowStride(width, 1);

    QList<QRgb> palette;
    if (bitCount == 4) {
        palette = windowsPalette16();
    } else if (bitCount == 8) {
        palette = cubePalette256();
    }

    QByteArray out;
    putU32(out, 40);
    putU32(out, static_cast<quint32>(width));
    // The height covers the colour bitmap and the mask stacked together.
    putU32(out, static_cast<quint32>(2 * height));
    putU16(out, 1);
    putU16(out, static_cast<quint16>(bitCount));
    putU32(out, 0);
    putU32(out, static_cast<quint32>((xorStride + andStride) * height));
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);

    for (QRgb colour : palette) {
        putU8(out, qBlue(colour));
        putU8(out, qGreen(colour));
        putU8(out, qRed(colour));
        putU8(out, 0);
    }

    // BMP rows run bottom-up.
    for (int y = height - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row(xorStride, '\0');
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = line[x];
            if (bitCount == 32) {
                row[4 * x] = static_cast<char>(qBlue(pixel));
                row[4 * x + 1] = static_cast<char>(qGreen(pixel));
                row[4 * x + 2] = static_cast<char>(qRed(pixel));
                row[4 * x + 3] = static_cast<char>(qAlpha(pixel));
                continue;
            }
            // Masked pixels take index 0 (black), so the mask's XOR step leaves the screen as is.
            const int index =
                opaque(pixel) ? nearestIndex(palette, dithered(pixel, x, y, bitCount)) : 0;
            if (bitCount == 8) {
                row[x] = static_cast<char>(index);
            } else {
                const int shift = (x % 2 == 0) ? 4 : 0;
                row[x / 2] =
                    static_cast<char>(static_cast<unsigned char>(row[x / 2]) | (index << shift));
            }
        }
        out.append(row);
    }

    for (int y = height - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row(andStride, '\0');
        for (int x = 0; x < width; ++x) {
            if (!opaque(line[x])) {
                row[x / 8] =
                    static_cast<char>(static_cast<unsigned char>(row[x / 8]) | (0x80 >> (x % 8)));
            }
        }
        out.append(row);
    }
    return out;
}

} // namespace

QByteArray buildIco(const QList<IcoImage> &images)
{
    if (images.isEmpty() || images.size() > 0xffff) {
        return {};
    }
    QList<QByteArray> entries;
    for (const IcoImage &icon : images) {
        const int side = icon.image.width();
        if (side < 1 || side > 255 || icon.image.height() != side ||
            (icon.bitCount != 4 && icon.bitCount != 8 && icon.bitCount != 32)) {
            return {};
        }
        entries.append(bmpEntry(icon.image, icon.bitCount));
    }

    QByteArray out;
    putU16(out, 0);
    putU16(out, 1);
    putU16(out, static_cast<quint16>(images.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const IcoImage &icon = images.at(i);
        putU8(out, icon.image.width());
        putU8(out, icon.image.height());
        putU8(out, icon.bitCount == 4 ? 16 : 0);
        putU8(out, 0);
        putU16(out, 1);
        putU16(out, static_cast<quint16>(icon.bitCount));
        putU32(out, static_cast<quint32>(entries.at(i).size()));
        putU32(out, offset);
        offset += static_cast<quint32>(entries.at(i).size());
    }
    for (const QByteArray &entry : entries) {
        out.append(entry);
    }
    return out;
}
