#include "ftptlssessionder.h"

namespace {

constexpr unsigned char SequenceTag = 0x30;
constexpr unsigned char IntegerTag = 0x02;
// Context-specific, constructed, number 3.
constexpr unsigned char PeerCertificateTag = 0xA3;

struct Element
{
    unsigned char tag = 0;
    qsizetype contentStart = 0;
    qsizetype end = 0; // one past the last content byte
};

// One DER element starting at `at`, which must end by `limit`. Only the
// forms DER allows: low tag numbers, definite lengths, shortest length form.
bool readElement(const QByteArray &der, qsizetype at, qsizetype limit, Element *element)
{
    if (at + 2 > limit)
        return false;
    const auto byteAt = [&der](qsizetype i) { return static_cast<unsigned char>(der.at(i)); };
    element->tag = byteAt(at);
    if ((element->tag & 0x1F) == 0x1F)
        return false;
    qsizetype pos = at + 1;
    const unsigned char first = byteAt(pos++);
    qsizetype length = 0;
    if (first < 0x80) {
        length = first;
    } else {
        const int count = first & 0x7F;
        // 0x80 is the indefinite form, which DER forbids; four bytes hold
        // more than any session.
        if (count == 0 || count > 4 || pos + count > limit || byteAt(pos) == 0)
            return false;
        for (int i = 0; i < count; ++i)
            length = (length << 8) | byteAt(pos++);
        if (length < 0x80)
            return false;
    }
    if (length > limit - pos)
        return false;
    element->contentStart = pos;
    element->end = pos + length;
    return true;
}

QByteArray derLength(qsizetype length)
{
    QByteArray out;
    if (length < 0x80) {
        out.append(static_cast<char>(length));
        return out;
    }
    while (length > 0) {
        out.prepend(static_cast<char>(length & 0xFF));
        length >>= 8;
    }
    out.prepend(static_cast<char>(0x80 | out.size()));
    return out;
}

} // namespace

QByteArray FtpTlsSessionDer::withoutPeerCertificate(const QByteArray &der)
{
    Element outer;
    if (!readElement(der, 0, der.size(), &outer) || outer.tag != SequenceTag ||
        outer.end != der.size())
        return {};
    QByteArray fields;
    bool found = false;
    bool first = true;
    for (qsizetype at = outer.contentStart; at < outer.end;) {
        Element field;
        if (!readElement(der, at, outer.end, &field))
            return {};
        if (first && field.tag != IntegerTag)
            return {};
        first = false;
        if (field.tag == PeerCertificateTag) {
            if (found)
                return {};
            found = true;
        } else {
            fields.append(der.constData() + at, field.end - at);
        }
        at = field.end;
    }
    if (!found)
        return {};
    return QByteArray(1, static_cast<char>(SequenceTag)) + derLength(fields.size()) + fields;
}
