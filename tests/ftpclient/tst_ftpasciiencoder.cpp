#include "ftpasciiencoder.h"

#include <QList>
#include <QTest>

using Chunks = QList<QByteArray>;

class TstFtpAsciiEncoder : public QObject
{
    Q_OBJECT

private slots:
    void encode_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("empty") << Chunks{} << QByteArray();
        QTest::newRow("no line end") << Chunks{"abc"} << QByteArray("abc");
        QTest::newRow("bare LF") << Chunks{"a\nb\n"} << QByteArray("a\r\nb\r\n");
        QTest::newRow("CRLF kept") << Chunks{"a\r\nb\r\n"} << QByteArray("a\r\nb\r\n");
        QTest::newRow("mixed") << Chunks{"a\r\nb\nc"} << QByteArray("a\r\nb\r\nc");
        QTest::newRow("leading LF") << Chunks{"\nx"} << QByteArray("\r\nx");
        QTest::newRow("LF LF") << Chunks{"\n\n"} << QByteArray("\r\n\r\n");
        QTest::newRow("lone CR kept") << Chunks{"a\rb"} << QByteArray("a\rb");
        QTest::newRow("CR at chunk end, LF next") << Chunks{"a\r", "\nb"} << QByteArray("a\r\nb");
        QTest::newRow("LF at chunk start after plain byte")
            << Chunks{"a", "\nb"} << QByteArray("a\r\nb");
        QTest::newRow("CR chunk alone between") << Chunks{"a", "\r", "\n"} << QByteArray("a\r\n");
        QTest::newRow("empty chunk keeps the CR") << Chunks{"a\r", "", "\n"} << QByteArray("a\r\n");
        QTest::newRow("CR then other chunk") << Chunks{"a\r", "b\n"} << QByteArray("a\rb\r\n");
        QTest::newRow("binary bytes untouched")
            << Chunks{QByteArray("\x00\xff\n", 3)} << QByteArray("\x00\xff\r\n", 4);
        // More line ends than the room reserved for them, and long lines.
        QTest::newRow("only line ends")
            << Chunks{QByteArray(3000, '\n')} << QByteArray("\r\n").repeated(3000);
        QTest::newRow("long lines, ends split")
            << Chunks{QByteArray(5000, 'x') + "\r", "\n" + QByteArray(5000, 'y') + "\n"}
            << QByteArray(5000, 'x') + "\r\n" + QByteArray(5000, 'y') + "\r\n";
    }

    void encode()
    {
        QFETCH(Chunks, chunks);
        FtpAsciiEncoder encoder;
        QByteArray out;
        for (const QByteArray &chunk : chunks)
            out += encoder.encode(chunk);
        QTEST(out, "wire");
    }

    void resetForgetsTheCr()
    {
        FtpAsciiEncoder encoder;
        QCOMPARE(encoder.encode(QByteArray("a\r")), QByteArray("a\r"));
        encoder.reset();
        QCOMPARE(encoder.encode(QByteArray("\n")), QByteArray("\r\n"));
    }

    void largeChunkEveryLf()
    {
        QByteArray in;
        for (int i = 0; i < 100000; ++i)
            in += (i % 3 == 0) ? "line\r\n" : "line\n";
        FtpAsciiEncoder encoder;
        const QByteArray out = encoder.encode(in);
        QCOMPARE(out.count("\r\n"), in.count('\n'));
        QCOMPARE(out.count('\n'), in.count('\n'));
        QCOMPARE(QByteArray(out).replace("\r\n", "\n"), QByteArray(in).replace("\r\n", "\n"));
    }
};

QTEST_GUILESS_MAIN(TstFtpAsciiEncoder)
#include "tst_ftpasciiencoder.moc"
