#include "app/horloge.h"

#include <QTest>

class TestHorloge : public QObject
{
    Q_OBJECT

private slots:
    void texte_data();
    void texte();
};

void TestHorloge::texte_data()
{
    QTest::addColumn<qint64>("millisecondes");
    QTest::addColumn<QString>("attendu");

    QTest::newRow("zero") << qint64(0) << QStringLiteral("00:00");
    QTest::newRow("just under one second") << qint64(999) << QStringLiteral("00:00");
    QTest::newRow("9.999 s") << qint64(9999) << QStringLiteral("00:09");
    QTest::newRow("exactly 10 s") << qint64(10000) << QStringLiteral("00:10");
    QTest::newRow("59.999 s") << qint64(59999) << QStringLiteral("00:59");
    QTest::newRow("exactly 1 min") << qint64(60000) << QStringLiteral("01:00");
    QTest::newRow("65.432 s") << qint64(65432) << QStringLiteral("01:05");
    QTest::newRow("9 min 59 s") << qint64(599999) << QStringLiteral("09:59");
    QTest::newRow("exactly 10 min") << qint64(600000) << QStringLiteral("10:00");
    QTest::newRow("99 min 59.999 s") << qint64(5999999) << QStringLiteral("99:59");
    QTest::newRow("exactly 100 min") << qint64(6000000) << QStringLiteral("100:00");
    QTest::newRow("1000 min 1 s") << qint64(60001000) << QStringLiteral("1000:01");
    QTest::newRow("beyond 32 bits") << qint64(4294967296LL) << QStringLiteral("71582:47");
    QTest::newRow("negative reads as zero") << qint64(-5000) << QStringLiteral("00:00");
}

void TestHorloge::texte()
{
    QFETCH(qint64, millisecondes);
    QFETCH(QString, attendu);
    QCOMPARE(texteHorloge(millisecondes), attendu);
}

QTEST_APPLESS_MAIN(TestHorloge)
#include "tst_clock.moc"
