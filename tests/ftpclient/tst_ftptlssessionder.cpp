#include "ftptlssessionder.h"

#include <QTest>

namespace {

// One DER element; the length in the shortest form, as DER demands.
QByteArray tlv(unsigned char tag, const QByteArray &content)
{
    QByteArray length;
    qsizetype n = content.size();
    if (n < 0x80) {
        length.append(char(n));
    } else {
        while (n > 0) {
            length.prepend(char(n & 0xFF));
            n >>= 8;
        }
        length.prepend(char(0x80 | length.size()));
    }
    return char(tag) + length + content;
}

QByteArray seq(const QByteArray &content)
{
    return tlv(0x30, content);
}

// The leading fields of an OpenSSL session: version, protocol, cipher,
// identifier, secret.
QByteArray head()
{
    return tlv(0x02, "\x01") + tlv(0x02, QByteArray("\x03\x03", 2)) +
           tlv(0x04, QByteArray("\x00\x30", 2)) + tlv(0x04, QByteArray(32, 'i')) +
           tlv(0x04, QByteArray(48, 'k'));
}

QByteArray times()
{
    return tlv(0xA1, tlv(0x02, "\x65\x43\x21\x00")) + tlv(0xA2, tlv(0x02, "\x1c\x20"));
}

QByteArray peer(qsizetype size)
{
    return tlv(0xA3, seq(QByteArray(size, 'c')));
}

QByteArray tail()
{
    return tlv(0xA4, tlv(0x04, "ctx")) + tlv(0xA5, tlv(0x02, QByteArray(1, '\0'))) +
           tlv(0xA6, tlv(0x04, "ftp.example.org"));
}

} // namespace

class TstFtpTlsSessionDer : public QObject
{
    Q_OBJECT

private slots:
    void withoutPeerCertificate_data()
    {
        QTest::addColumn<QByteArray>("der");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray none;
        QTest::newRow("usual session")
            << seq(head() + times() + peer(600) + tail()) << seq(head() + times() + tail());
        QTest::newRow("certificate last")
            << seq(head() + times() + peer(600)) << seq(head() + times());
        // The rest shrinks from a two-byte length to a one-byte one.
        const QByteArray rest127 = tlv(0x02, "\x01") + tlv(0x04, QByteArray(122, 'x'));
        QCOMPARE(rest127.size(), 127);
        QTest::newRow("rest of 127 bytes, short length")
            << seq(rest127 + peer(300)) << seq(rest127);
        const QByteArray rest128 = tlv(0x02, "\x01") + tlv(0x04, QByteArray(123, 'x'));
        QTest::newRow("rest of 128 bytes, long length") << seq(rest128 + peer(300)) << seq(rest128);
        const QByteArray restLarge = head() + tlv(0xAA, tlv(0x04, QByteArray(70000, 't')));
        QTest::newRow("rest over 64 KiB, three-byte length")
            << seq(restLarge + peer(900)) << seq(restLarge);
        QTest::newRow("no certificate") << seq(head() + times() + tail()) << none;
        QTest::newRow("two certificates") << seq(head() + peer(10) + peer(10)) << none;
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("one byte") << QByteArray("\x30", 1) << none;
        QTest::newRow("not a sequence") << tlv(0x31, head() + peer(10)) << none;
        QTest::newRow("version missing") << seq(peer(10) + head()) << none;
        QTest::newRow("bytes after the sequence")
            << seq(head() + peer(10)) + QByteArray(1, '\0') << none;
        QTest::newRow("truncated") << seq(head() + peer(300)).chopped(1) << none;
        QTest::newRow("field longer than the sequence")
            << seq(head() + QByteArray("\xA3\x05\x30\x03", 4)) << none;
        QTest::newRow("indefinite length")
            << QByteArray("\x30\x80", 2) + head() + peer(10) + QByteArray(2, '\0') << none;
        QTest::newRow("long form for a short length")
            << QByteArray("\x30\x81\x05\x02\x01\x01\xA3\x00", 8) << none;
        QTest::newRow("length with a leading zero byte")
            << QByteArray("\x30\x82\x00\x85", 4) + head() + peer(10) << none;
        QTest::newRow("length of five bytes")
            << QByteArray("\x30\x85\x01\x00\x00\x00\x00", 7) << none;
        QTest::newRow("high tag number")
            << seq(head() + QByteArray("\xBF\x1F\x01\x00", 4) + peer(10)) << none;
        QTest::newRow("certificate cut short") << seq(head() + QByteArray("\xA3\x01", 2)) << none;
    }

    void withoutPeerCertificate()
    {
        QFETCH(QByteArray, der);
        QFETCH(QByteArray, expected);
        QCOMPARE(FtpTlsSessionDer::withoutPeerCertificate(der), expected);
    }
};

QTEST_APPLESS_MAIN(TstFtpTlsSessionDer)
#include "tst_ftptlssessionder.moc"
