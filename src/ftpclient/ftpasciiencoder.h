#pragma once

#include <QByteArray>

// Turns local text into the NVT-ASCII form of RFC 959's ASCII type: every bare
// LF goes out as CRLF, an existing CRLF is left alone. The encoder remembers
// the last byte of the previous chunk, so a CRLF cut between two chunks is not
// doubled.
class FtpAsciiEncoder
{
public:
    QByteArray encode(const char *data, qsizetype size);
    QByteArray encode(const QByteArray &chunk) { return encode(chunk.constData(), chunk.size()); }
    void reset() { m_lastWasCr = false; }

private:
    bool m_lastWasCr = false;
};
