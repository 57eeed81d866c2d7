// What the user is shown of a certificate, and the fingerprint the settings
// file keeps, checked against certificates made for the test.
#include "ftp/tlscertificate.h"
#include "testcertificates.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTest>

class TestTlsCertificate : public QObject
{
    Q_OBJECT

    TestCertificates m_certs;

private slots:
    void initTestCase() { QVERIFY2(m_certs.isValid(), qPrintable(m_certs.errorString())); }

    void storedFingerprintIsRead_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<bool>("valable");
        const QString hex = QStringLiteral("00112233445566778899AABBCCDDEEFF"
                                           "00112233445566778899aabbccddeeff");
        QString avecDeuxPoints;
        for (int i = 0; i < hex.size(); i += 2)
            avecDeuxPoints += (i ? QStringLiteral(":") : QString()) + hex.mid(i, 2);
        QTest::newRow("bare hexadecimal, mixed case") << hex << true;
        QTest::newRow("with colons") << avecDeuxPoints << true;
        QTest::newRow("with spaces around")
            << QStringLiteral("  ") + hex + QStringLiteral("\n") << true;
        QTest::newRow("one digit short") << hex.left(63) << false;
        QTest::newRow("one digit too many") << hex + QStringLiteral("0") << false;
        QTest::newRow("not hexadecimal")
            << QString(hex).replace(5, 1, QStringLiteral("g")) << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("SHA-1 length") << hex.left(40) << false;
    }
    void storedFingerprintIsRead()
    {
        QFETCH(QString, texte);
        QFETCH(bool, valable);
        const QByteArray octets = octetsEmpreinte(texte);
        QCOMPARE(octets.size(), valable ? 32 : 0);
        if (valable)
            QCOMPARE(octets.toHex(),
                     texte.simplified().remove(QLatin1Char(':')).toLower().toLatin1());
    }

    void fingerprintOfRealCertificates_data()
    {
        QTest::addColumn<QString>("nom");
        for (const char *nom : {"good", "selfsigned", "selfsigned2", "expired", "wrongname"})
            QTest::newRow(nom) << QString::fromLatin1(nom);
    }
    void fingerprintOfRealCertificates()
    {
        QFETCH(QString, nom);
        const QSslCertificate certificat = m_certs.certificate(nom);
        QVERIFY(!certificat.isNull());
        const QString empreinte = empreinteSha256(certificat);
        QVERIFY(QRegularExpression(QStringLiteral("^([0-9A-F]{2}:){31}[0-9A-F]{2}$"))
                    .match(empreinte)
                    .hasMatch());
        // Computed on its own by the script that made the certificate.
        QCOMPARE(empreinte, m_certs.fingerprint(nom));
        QCOMPARE(octetsEmpreinte(empreinte), certificat.digest(QCryptographicHash::Sha256));
        const QString description = descriptionCertificat(certificat);
        QVERIFY(description.contains(QStringLiteral("Empreinte SHA-256 : ") + empreinte));
        QVERIFY(description.contains(
            certificat.expiryDate().toLocalTime().toString(QStringLiteral("dd/MM/yyyy"))));
        QVERIFY(description.contains(QStringLiteral("Délivré par : ")));
    }

    void nullCertificateHasNoFingerprint()
    {
        QCOMPARE(empreinteSha256(QSslCertificate()), QString());
    }

    void reasonsInFrench_data()
    {
        QTest::addColumn<QList<int>>("erreurs");
        QTest::addColumn<QStringList>("attendues");
        QTest::newRow("self-signed") << QList<int>{QSslError::SelfSignedCertificate}
                                     << QStringList{QStringLiteral("auto-signé")};
        QTest::newRow("name") << QList<int>{QSslError::HostNameMismatch}
                              << QStringList{QStringLiteral("autre nom que « ftp.exemple.fr »")};
        QTest::newRow("expired and unknown authority")
            << QList<int>{QSslError::CertificateExpired,
                          QSslError::UnableToGetLocalIssuerCertificate}
            << QStringList{QStringLiteral("certificat expiré"),
                           QStringLiteral("autorité inconnue")};
        QTest::newRow("same reason twice, said once")
            << QList<int>{QSslError::UnableToGetLocalIssuerCertificate,
                          QSslError::UnableToVerifyFirstCertificate}
            << QStringList{QStringLiteral("autorité inconnue")};
        QTest::newRow("nothing said")
            << QList<int>{} << QStringList{QStringLiteral("certificat refusé")};
        QTest::newRow("rare error keeps the toolkit's words")
            << QList<int>{QSslError::InvalidPurpose}
            << QStringList{QStringLiteral("certificat invalide (")};
    }
    void reasonsInFrench()
    {
        QFETCH(QList<int>, erreurs);
        QFETCH(QStringList, attendues);
        QList<QSslError> liste;
        for (int e : erreurs)
            liste.append(QSslError(QSslError::SslError(e)));
        const QString texte = raisonsRefus(liste, QStringLiteral("ftp.exemple.fr"));
        QCOMPARE(texte.split(QLatin1Char('\n')).size(), attendues.size());
        for (const QString &a : attendues)
            QVERIFY2(texte.contains(a), qPrintable(texte));
    }
};

QTEST_GUILESS_MAIN(TestTlsCertificate)
#include "tst_tlscertificate.moc"
