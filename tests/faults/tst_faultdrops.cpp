// The server drops the connection at random commands, seed after seed.
#include "faultsite.h"

#include <QTest>

class TestFaultDrops : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(nuvola); }

    void randomDrops_data()
    {
        QTest::addColumn<int>("graine");
        QTest::addColumn<QString>("taux");
        const int base = faults::baseGraines();
        // Sixty-odd commands a run: 0.04 gives runs that survive a few drops
        // and runs that reach the failure limit; 0.15 nearly always fails.
        for (int g = 1; g <= 16; ++g)
            QTest::addRow("seed %d rate 0.04", g + base) << g + base << QStringLiteral("0.04");
        for (int g = 101; g <= 106; ++g)
            QTest::addRow("seed %d rate 0.15", g + base) << g + base << QStringLiteral("0.15");
    }
    void randomDrops()
    {
        QFETCH(int, graine);
        QFETCH(QString, taux);
        faults::faultePuisReprise({QStringLiteral("--drop-seed"), QString::number(graine),
                                   QStringLiteral("--drop-rate"), taux},
                                  faults::Attendu::LUnOuLAutre, &m_bilan);
    }

    void dropAtTheNthCommandOfEverySession_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {1, 2, 3, 4, 6, 9, 14, 22, 35, 60})
            QTest::addRow("command %d", n) << n;
    }
    void dropAtTheNthCommandOfEverySession()
    {
        QFETCH(int, n);
        faults::faultePuisReprise({QStringLiteral("--drop-after"), QString::number(n)},
                                  faults::Attendu::LUnOuLAutre, &m_bilan);
    }

    void cleanupTestCase()
    {
        qInfo("random and numbered drops: %d runs, %d fault runs failed", m_bilan.runs,
              m_bilan.echecs);
    }

private:
    faults::Bilan m_bilan;
};

QTEST_MAIN(TestFaultDrops)
#include "tst_faultdrops.moc"
