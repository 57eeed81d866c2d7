#include "ftpasciiencoder.h"

QByteArray FtpAsciiEncoder::encode(const char *data, qsizetype size)
{
    QByteArray out;
    out.reserve(size + size / 16 + 1);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            const bool afterCr = i > 0 ? data[i - 1] == '\r' : m_lastWasCr;
            if (!afterCr) {
                out.append(data + runStart, i - runStart);
                out.append('\r');
                runStart = i;
            }
        }
    }
    out.append(data + runStart, size - runStart);
    if (size > 0)
        m_lastWasCr = data[size - 1] == '\r';
    return out;
}
