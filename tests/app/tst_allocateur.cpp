#include "app/allocateur.h"

#include <QTest>

#include <cstdlib>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__GLIBC__)
namespace {

struct Prise
{
    bool toutObtenu = true;
    size_t projeteTenu = 0; // bytes glibc had mapped while the blocks were held
};

// Takes `nombre` blocks of `taille` bytes, writes to each so that none is
// optimised away, then frees them from the top of the heap down, as a
// finished file's buffers are.
Prise prendreEtRendre(int taille, int nombre)
{
    Prise prise;
    std::vector<char *> blocs;
    // Reserved first: grown meanwhile, it would sit between the blocks.
    blocs.reserve(size_t(nombre));
    for (int i = 0; i < nombre; ++i) {
        auto *bloc = static_cast<char *>(std::malloc(size_t(taille)));
        if (!bloc) {
            prise.toutObtenu = false;
            break;
        }
        bloc[0] = 1;
        bloc[taille - 1] = 1;
        blocs.push_back(bloc);
    }
    prise.projeteTenu = mallinfo2().hblkhd;
    int somme = 0;
    for (char *bloc : blocs)
        somme += bloc[0] + bloc[taille - 1];
    prise.toutObtenu = prise.toutObtenu && somme == 2 * nombre;
    for (auto it = blocs.rbegin(); it != blocs.rend(); ++it)
        std::free(*it);
    return prise;
}

} // namespace
#endif

class TestAllocateur : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void heapKeepsWhatARunFrees_data();
    void heapKeepsWhatARunFrees();
    void memoryGoesBackAfterTheRun();
};

void TestAllocateur::initTestCase()
{
#if !defined(__GLIBC__)
    QSKIP("only glibc's allocator is tuned");
#endif
    reglerAllocateur();
}

void TestAllocateur::heapKeepsWhatARunFrees_data()
{
    QTest::addColumn<int>("taille");
    QTest::addColumn<int>("nombre");
    QTest::addColumn<bool>("projete");

    // What the data connections of a run take and free, file after file.
    QTest::newRow("small blocks, 12 MiB in all") << 8 * 1024 << 1536 << false;
    QTest::newRow("a scratch copy of 4 MiB") << 4 * 1024 * 1024 << 1 << false;
    QTest::newRow("just below the mapping size") << 8 * 1024 * 1024 - 4096 << 1 << false;
    // Far larger blocks are still mapped, and so given back when freed.
    QTest::newRow("a 20 MiB block") << 20 * 1024 * 1024 << 1 << true;
}

void TestAllocateur::heapKeepsWhatARunFrees()
{
#if defined(__GLIBC__)
    QFETCH(int, taille);
    QFETCH(int, nombre);
    QFETCH(bool, projete);

    const size_t projeteAvant = mallinfo2().hblkhd;
    const Prise prise = prendreEtRendre(taille, nombre);
    QVERIFY(prise.toutObtenu);
    const struct mallinfo2 apres = mallinfo2();

    QCOMPARE(prise.projeteTenu > projeteAvant, projete);
    if (projete)
        QCOMPARE(apres.hblkhd, projeteAvant);
    else
        QVERIFY2(apres.keepcost >= size_t(taille) * size_t(nombre),
                 qPrintable(QStringLiteral("only %1 bytes kept at the top").arg(apres.keepcost)));
#endif
}

void TestAllocateur::memoryGoesBackAfterTheRun()
{
#if defined(__GLIBC__)
    constexpr int taille = 8 * 1024;
    constexpr int nombre = 1536;
    QVERIFY(prendreEtRendre(taille, nombre).toutObtenu);
    const size_t gardeAvant = mallinfo2().keepcost;
    QVERIFY(gardeAvant >= size_t(taille) * nombre);

    rendreMemoireLibre();
    // What glibc keeps at the top whatever it is told: its padding.
    QVERIFY2(mallinfo2().keepcost < 1024 * 1024,
             qPrintable(QStringLiteral("%1 bytes still kept").arg(mallinfo2().keepcost)));
#endif
}

QTEST_APPLESS_MAIN(TestAllocateur)
#include "tst_allocateur.moc"
