#include "app/modeauto.h"

#include <QTest>

class TestModeAuto : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("auto_");
        const QString prog = QStringLiteral("C:/Nuvola/nuvola.exe");
        auto l = [&](std::initializer_list<const char *> a) {
            QStringList r{prog};
            for (const char *s : a)
                r << QString::fromUtf8(s);
            return r;
        };
        QTest::newRow("none") << l({}) << false;
        QTest::newRow("lower") << l({"/auto"}) << true;
        QTest::newRow("capital") << l({"/Auto"}) << true;
        QTest::newRow("later position") << l({"x", "-v", "/auto"}) << true;
        QTest::newRow("all capitals") << l({"/AUTO"}) << false;
        QTest::newRow("dash") << l({"-auto"}) << false;
        QTest::newRow("no slash") << l({"auto"}) << false;
        QTest::newRow("appended") << l({"/autox"}) << false;
        QTest::newRow("with value") << l({"/auto=1"}) << false;
        QTest::newRow("trailing blank") << l({"/auto "}) << false;
        QTest::newRow("double slash") << l({"//auto"}) << false;
        QTest::newRow("program path itself") << QStringList{QStringLiteral("/auto")} << true;
        QTest::newRow("empty list") << QStringList{} << false;
    }
    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, auto_);
        QCOMPARE(estModeAuto(arguments), auto_);
    }
};

QTEST_GUILESS_MAIN(TestModeAuto)
#include "tst_modeauto.moc"
