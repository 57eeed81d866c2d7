// Stalls, refusals and a full disk on the server, each followed by a run
// without faults that must complete the tree.
#include "faultsite.h"

#include <QTest>

Q_DECLARE_METATYPE(faults::Attendu)

class TestFaultServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(nuvola); }

    void faultThenRecovery_data()
    {
        using faults::Attendu;
        QTest::addColumn<QStringList>("fautes");
        QTest::addColumn<Attendu>("attendu");
        const auto s = [](const char *t) { return QString::fromLatin1(t); };
        QTest::newRow("stall on USER") << QStringList{s("--stall-on"), s("USER")} << Attendu::Echec;
        QTest::newRow("stall on CWD") << QStringList{s("--stall-on"), s("CWD")} << Attendu::Echec;
        QTest::newRow("stall on MKD") << QStringList{s("--stall-on"), s("MKD")} << Attendu::Echec;
        QTest::newRow("stall on TYPE") << QStringList{s("--stall-on"), s("TYPE")} << Attendu::Echec;
        QTest::newRow("stall on PASV and EPSV")
            << QStringList{s("--stall-on"), s("PASV"), s("--stall-on"), s("EPSV")}
            << Attendu::Echec;
        QTest::newRow("stall on STOR (no final reply)")
            << QStringList{s("--stall-on"), s("STOR")} << Attendu::Echec;
        QTest::newRow("upload stalls after 2000 bytes")
            << QStringList{s("--stall-stor-after"), s("2000")} << Attendu::Echec;
        QTest::newRow("upload stalls, first session only")
            << QStringList{s("--stall-stor-after"), s("2000"), s("--fault-sessions"), s("1")}
            << Attendu::LUnOuLAutre;
        QTest::newRow("MKD refused") << QStringList{s("--refuse-mkd")} << Attendu::Echec;
        QTest::newRow("STOR refused") << QStringList{s("--refuse-stor")} << Attendu::Echec;
        QTest::newRow("three STOR refused with 451")
            << QStringList{s("--refuse-stor-count"), s("3")} << Attendu::Reussite;
        QTest::newRow("disk full 452") << QStringList{s("--disk-full=452")} << Attendu::Echec;
        QTest::newRow("disk full 552") << QStringList{s("--disk-full=552")} << Attendu::Echec;
        QTest::newRow("connection dropped inside every upload")
            << QStringList{s("--drop-in-transfer"), s("500")} << Attendu::Echec;
        QTest::newRow("dropped inside the uploads of two sessions")
            << QStringList{s("--drop-in-transfer"), s("500"), s("--fault-sessions"), s("2")}
            << Attendu::Reussite;
        // The session comes back in the login folder: its files must not
        // be stored there as if it were the site's.
        QTest::newRow("reconnection's CWD refused")
            << QStringList{s("--drop-in-transfer"),   s("500"), s("--fault-sessions"), s("1"),
                           s("--refuse-cwd-session"), s("2")}
            << Attendu::Reussite;
        QTest::newRow("replies 200 ms late")
            << QStringList{s("--reply-delay"), s("200")} << Attendu::Reussite;
        // Later than the folder wait: every late reply arrives after the
        // command was given up, and must not be taken for the next one's.
        QTest::newRow("replies 1800 ms late")
            << QStringList{s("--reply-delay"), s("1800")} << Attendu::LUnOuLAutre;
        QTest::newRow("data connections held 1 s")
            << QStringList{s("--accept-delay"), s("1000")} << Attendu::Reussite;
    }
    void faultThenRecovery()
    {
        QFETCH(QStringList, fautes);
        QFETCH(faults::Attendu, attendu);
        faults::faultePuisReprise(fautes, attendu, &m_bilan);
    }

    void cleanupTestCase()
    {
        qInfo("server faults: %d runs, %d fault runs failed", m_bilan.runs, m_bilan.echecs);
    }

private:
    faults::Bilan m_bilan;
};

QTEST_MAIN(TestFaultServer)
#include "tst_faultserver.moc"
