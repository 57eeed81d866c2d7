#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

struct IcoImage
{
    QImage image;      // square, at most 255 pixels
    int bitCount = 32; // 4 (16 colours), 8 (256 colours) or 32 (BGRA)
};

// Builds a Windows .ico file: one uncompressed BMP entry per image, each with its AND mask.
// Returns an empty array when an image cannot be stored.
QByteArray buildIco(const QList<IcoImage> &images);
