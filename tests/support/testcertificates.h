#pragma once

#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Certificates for the FTPS tests, made fresh in a temporary folder by
// tests/support/makecerts.py: a test authority ("ca") and the server
// certificates "good" (signed, for 127.0.0.1 and localhost), "selfsigned",
// "selfsigned2" (another self-signed one, a changed certificate), "expired"
// and "wrongname" (signed, for ftp.other.invalid only). Each has
// <name>.pem and <name>.key. Making them takes a fraction of a second: one
// instance per test class (in initTestCase) is enough.
class TestCertificates
{
public:
    // Runs the script and waits (at most 20 s); see isValid().
    TestCertificates();

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    // Every name listed above, "ca" first.
    static QStringList names();

    QString dirPath() const { return m_dir.path(); }
    QString path(const QString &name) const;    // the certificate, PEM
    QString keyPath(const QString &name) const; // its private key, PEM, unencrypted
    QString caPath() const { return path(QStringLiteral("ca")); }
    // Null when the name is unknown or the files could not be read.
    QSslCertificate certificate(const QString &name) const;
    QSslCertificate caCertificate() const { return certificate(QStringLiteral("ca")); }
    // SHA-256 of the DER form, "AB:CD:...", uppercase: the program's own form
    // for a trusted certificate. Empty for an unknown name.
    QString fingerprint(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QStringList m_fingerprintLines;
    QString m_error;
};
