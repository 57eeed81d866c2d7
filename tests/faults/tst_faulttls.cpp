// The faults of the plain cases over FTPS, on a server that, as vsftpd,
// refuses any data connection that does not resume the control connection's
// session: drops at random or numbered commands, cuts and stalls inside the
// encrypted uploads, a full disk.
#include "faultsite.h"
#include "testcertificates.h"

#include <QSslSocket>
#include <QTest>

Q_DECLARE_METATYPE(faults::Attendu)

class TestFaultTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(nuvola);
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QVERIFY2(m_certs.isValid(), qPrintable(m_certs.errorString()));
        const QString cert = QStringLiteral("selfsigned");
        m_canal.argsServeur = TestFtpServer::tlsArgs(m_certs, cert)
                              << QStringLiteral("--tls-required")
                              << QStringLiteral("--tls-require-reuse");
        // Trusted by the user at an earlier run, as /auto needs.
        m_canal.reglages.insert(QStringLiteral("FTPS"), 1);
        m_canal.reglages.insert(QStringLiteral("FTPSEmpreinte"), m_certs.fingerprint(cert));
    }

    void faultThenRecovery_data()
    {
        using faults::Attendu;
        QTest::addColumn<QStringList>("fautes");
        QTest::addColumn<Attendu>("attendu");
        const auto s = [](const char *t) { return QString::fromLatin1(t); };
        const int base = faults::baseGraines();
        for (int g = 1 + base; g <= 8 + base; ++g)
            QTest::addRow("random drops, seed %d rate 0.04", g)
                << QStringList{s("--drop-seed"), QString::number(g), s("--drop-rate"), s("0.04")}
                << Attendu::LUnOuLAutre;
        for (int g = 101 + base; g <= 103 + base; ++g)
            QTest::addRow("random drops, seed %d rate 0.15", g)
                << QStringList{s("--drop-seed"), QString::number(g), s("--drop-rate"), s("0.15")}
                << Attendu::LUnOuLAutre;
        // AUTH, PBSZ and PROT come first: the drops fall in and after them.
        for (int n : {1, 2, 4, 5, 6, 8, 13, 21, 34})
            QTest::addRow("drop at command %d of every session", n)
                << QStringList{s("--drop-after"), QString::number(n)} << Attendu::LUnOuLAutre;
        QTest::newRow("connection dropped inside every upload")
            << QStringList{s("--drop-in-transfer"), s("500")} << Attendu::Echec;
        QTest::newRow("dropped inside the uploads of two sessions")
            << QStringList{s("--drop-in-transfer"), s("500"), s("--fault-sessions"), s("2")}
            << Attendu::Reussite;
        QTest::newRow("upload stalls after 2000 bytes")
            << QStringList{s("--stall-stor-after"), s("2000")} << Attendu::Echec;
        QTest::newRow("disk full 552") << QStringList{s("--disk-full=552")} << Attendu::Echec;
        QTest::newRow("three STOR refused with 451")
            << QStringList{s("--refuse-stor-count"), s("3")} << Attendu::Reussite;
    }
    void faultThenRecovery()
    {
        QFETCH(QStringList, fautes);
        QFETCH(faults::Attendu, attendu);
        faults::faultePuisReprise(fautes, attendu, &m_bilan, faults::delaisCourts(), m_canal);
    }

    void cleanupTestCase()
    {
        qInfo("faults over FTPS: %d runs, %d fault runs failed", m_bilan.runs, m_bilan.echecs);
    }

private:
    TestCertificates m_certs;
    faults::Canal m_canal;
    faults::Bilan m_bilan;
};

QTEST_MAIN(TestFaultTls)
#include "tst_faulttls.moc"
