// The real executable in automatic mode over FTPS: it never asks, it says
// why and which certificate in the log, and it accepts a trusted one.
#include "testcertificates.h"
#include "testftpserver.h"
#include "testtree.h"

#include <QDateTime>
#include <QProcess>
#include <QSettings>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>

class TestFtpsAuto : public QObject
{
    Q_OBJECT

    TestCertificates m_certs;

    struct Execution
    {
        int code = -1;
        QString erreur;
    };

    static Execution lancer(const QString &donnees)
    {
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), donnees);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        p.setProcessEnvironment(env);
        p.start(QString::fromLocal8Bit(qgetenv("NUVOLA_EXE")), {QStringLiteral("/auto")});
        Execution e;
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return e;
        e.code = p.exitCode();
        e.erreur = QString::fromUtf8(p.readAllStandardError());
        return e;
    }

private slots:
    void initTestCase()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QVERIFY2(m_certs.isValid(), qPrintable(m_certs.errorString()));
    }

    void untrustedCertificateFailsThenTrustedOneIsAccepted_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("raison");
        QTest::newRow("self-signed")
            << QStringLiteral("selfsigned") << QStringLiteral("auto-signé");
        QTest::newRow("unknown authority")
            << QStringLiteral("good") << QStringLiteral("autorité inconnue");
    }

    void untrustedCertificateFailsThenTrustedOneIsAccepted()
    {
        QFETCH(QString, cert);
        QFETCH(QString, raison);
        TestFtpServer serveur;
        QVERIFY2(serveur.startTls(m_certs, cert, {QStringLiteral("--tls-required")}),
                 qPrintable(serveur.errorString()));
        QTemporaryDir data, site;
        QVERIFY(writeFile(site.filePath(QStringLiteral("index.htm")), "bonjour\n",
                          QDateTime::currentSecsSinceEpoch() - 10));
        const QString ini = data.filePath(QStringLiteral("Nuvola.ini"));
        {
            QSettings s(ini, QSettings::IniFormat);
            s.beginGroup(QStringLiteral("Config"));
            s.setValue(QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
            s.setValue(QStringLiteral("Port"), serveur.port());
            s.setValue(QStringLiteral("Utilisateur"), serveur.user());
            s.setValue(QStringLiteral("Pass"), serveur.password());
            s.setValue(QStringLiteral("DosServeur"), QStringLiteral("/"));
            s.setValue(QStringLiteral("DosLocal"), site.path());
            s.setValue(QStringLiteral("Date"), 1000);
            s.setValue(QStringLiteral("FTPS"), 1);
        }
        const QString empreinte = m_certs.fingerprint(cert);
        const Execution refus = lancer(data.path());
        QCOMPARE(refus.code, 2);
        QVERIFY2(refus.erreur.contains(QStringLiteral("Certificat du serveur refusé")),
                 qPrintable(refus.erreur));
        QVERIFY2(refus.erreur.contains(raison), qPrintable(refus.erreur));
        QVERIFY(refus.erreur.contains(QStringLiteral("Empreinte SHA-256 : ") + empreinte));
        QVERIFY(refus.erreur.contains(QStringLiteral("lancez Nuvola sans /auto")));
        QVERIFY(!serveur.serverFileExists(QStringLiteral("index.htm")));
        QVERIFY(!serveur.commands().contains(QStringLiteral("USER nuvola")));
        {
            QSettings s(ini, QSettings::IniFormat);
            QCOMPARE(s.value(QStringLiteral("Config/Date")).toString(), QStringLiteral("1000"));
            // Never written without the user.
            QVERIFY(!s.contains(QStringLiteral("Config/FTPSEmpreinte")));
            s.setValue(QStringLiteral("Config/FTPSEmpreinte"), empreinte);
        }
        const Execution succes = lancer(data.path());
        QCOMPARE(succes.code, 0);
        QCOMPARE(succes.erreur, QString());
        QCOMPARE(serveur.serverFileContent(QStringLiteral("index.htm")), QByteArray("bonjour\n"));
    }
};

QTEST_GUILESS_MAIN(TestFtpsAuto)
#include "tst_ftpsauto.moc"
