#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QTemporaryFile>

// A put's content from memory, as the program holds small files, or from a
// file, as it sends the larger ones. Null when the device cannot be made.
inline QIODevice *putSource(bool fromFile, const QByteArray &content, QBuffer &buffer,
                            QTemporaryFile &file)
{
    if (!fromFile) {
        buffer.setData(content);
        return buffer.open(QIODevice::ReadOnly) ? &buffer : nullptr;
    }
    if (!file.open() || file.write(content) != content.size() || !file.seek(0))
        return nullptr;
    return &file;
}
