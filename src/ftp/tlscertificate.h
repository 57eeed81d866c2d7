#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

// What the user is shown of a server certificate, and the fingerprint the
// settings file remembers it by.

// SHA-256 of the certificate as "AB:CD:…" (the form the settings file stores).
QString empreinteSha256(const QSslCertificate &certificat);
// The digest a stored fingerprint stands for; colons, spaces and case do not
// matter. Anything but 32 bytes of hexadecimal gives an empty result.
QByteArray octetsEmpreinte(const QString &empreinte);

// Why verification failed, in French, one reason per line; `hote` is the
// name typed in the form.
QString raisonsRefus(const QList<QSslError> &erreurs, const QString &hote);

// Subject, issuer, validity and fingerprint, one per line.
QString descriptionCertificat(const QSslCertificate &certificat);
