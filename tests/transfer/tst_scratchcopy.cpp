#include "ftp/scratchcopy.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

QStringList scratchFiles()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("nuvola-*")}, QDir::Files);
}

enum Source { Memoire, FichierTemporaire, EnPlace };

} // namespace

class TestScratchCopy : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // Other tests run the program beside this one, and its scratch copies and
    // instance marker live in the temporary folder: this test lists its own.
    QTemporaryDir m_tmp;

    QString make(const QString &name, qint64 size)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
            return QString();
        f.seek(size > 0 ? size - 1 : 0);
        if (size > 0)
            f.write("z", 1);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        QCOMPARE(QDir(QDir::tempPath()).canonicalPath(), QDir(m_tmp.path()).canonicalPath());
    }

    void copyOrInPlace_data()
    {
        QTest::addColumn<qint64>("taille");
        QTest::addColumn<int>("sorte");
        QTest::newRow("empty file") << qint64(0) << int(Memoire);
        QTest::newRow("small") << qint64(1000) << int(Memoire);
        QTest::newRow("largest in memory") << tailleMaxCopieMemoire << int(Memoire);
        QTest::newRow("smallest on disk") << tailleMaxCopieMemoire + 1 << int(FichierTemporaire);
        QTest::newRow("largest copied") << qint64(19999999) << int(FichierTemporaire);
        QTest::newRow("smallest read in place") << qint64(20000000) << int(EnPlace);
    }
    void copyOrInPlace()
    {
        QFETCH(qint64, taille);
        QFETCH(int, sorte);
        const bool copie = sorte != EnPlace;
        const QString path = make(QStringLiteral("f%1.bin").arg(taille), taille);
        QVERIFY(!path.isEmpty());
        const QStringList avant = scratchFiles();
        {
            std::unique_ptr<QIODevice> source = ouvrirSourceEnvoi(path);
            QVERIFY(source);
            QVERIFY(source->isReadable());
            QCOMPARE(source->pos(), qint64(0));
            QCOMPARE(source->size(), taille);
            auto *enPlace = qobject_cast<QFile *>(source.get());
            const bool surDisque = qobject_cast<QTemporaryFile *>(source.get()) != nullptr;
            QCOMPARE(qobject_cast<QBuffer *>(source.get()) != nullptr, sorte == Memoire);
            QCOMPARE(surDisque, sorte == FichierTemporaire);
            if (sorte == EnPlace)
                QCOMPARE(enPlace->fileName(), path);
            // The station rewriting the file now must not change what is sent.
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("rewritten");
            f.close();
            if (copie) {
                QCOMPARE(source->size(), taille);
                if (taille > 0) {
                    QVERIFY(source->seek(taille - 1));
                    QCOMPARE(source->read(1), QByteArray("z"));
                }
            }
        }
        QCOMPARE(scratchFiles(), avant); // the copy is gone with its device
    }

    void copiesAreUniqueAndEachHoldsItsFile()
    {
        const QString a = m_dir.filePath(QStringLiteral("a.htm"));
        const QString b = m_dir.filePath(QStringLiteral("b.htm"));
        for (const auto &[p, c] :
             {std::pair{a, QByteArray("AAA")}, std::pair{b, QByteArray("BB")}}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(c);
        }
        auto sa = ouvrirSourceEnvoi(a);
        auto sb = ouvrirSourceEnvoi(b);
        QVERIFY(sa && sb);
        QCOMPARE(sa->readAll(), QByteArray("AAA"));
        QCOMPARE(sb->readAll(), QByteArray("BB"));
    }

    void contentBeyondTheSizeSeenIsSentWhole()
    {
#ifdef Q_OS_LINUX
        // The kernel reports a size of 0 for it, as for a file that grows
        // between opening and copying: the copy reads to the end anyway.
        const QString path = QStringLiteral("/proc/self/cmdline");
        QFile direct(path);
        QVERIFY(direct.open(QIODevice::ReadOnly));
        QCOMPARE(direct.size(), qint64(0));
        const QByteArray attendu = direct.readAll();
        QVERIFY(attendu.size() > 1);
        auto source = ouvrirSourceEnvoi(path);
        QVERIFY(source);
        QCOMPARE(source->readAll(), attendu);
#else
        QSKIP("needs a file whose reported size is below its content");
#endif
    }

    void missingFileCannotBeOpened()
    {
        QVERIFY(!ouvrirSourceEnvoi(m_dir.filePath(QStringLiteral("absent.htm"))));
    }
};

QTEST_GUILESS_MAIN(TestScratchCopy)
#include "tst_scratchcopy.moc"
