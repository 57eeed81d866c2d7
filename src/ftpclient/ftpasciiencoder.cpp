#include "ftpasciiencoder.h"

#include <cstring>

QByteArray FtpAsciiEncoder::encode(const char *data, qsizetype size)
{
    QByteArray out;
    out.reserve(size + size / 16 + 1);
    qsizetype runStart = 0;
    // memchr finds the line ends many bytes at a time; pages are mostly text
    // between them.
    const char *end = data + size;
    for (const char *p = data; p < end;) {
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lf)
            break;
        const qsizetype i = lf - data;
        const bool afterCr = i > 0 ? data[i - 1] == '\r' : m_lastWasCr;
        if (!afterCr) {
            out.append(data + runStart, i - runStart);
            out.append('\r');
            runStart = i;
        }
        p = lf + 1;
    }
    out.append(data + runStart, size - runStart);
    if (size > 0)
        m_lastWasCr = data[size - 1] == '\r';
    return out;
}
