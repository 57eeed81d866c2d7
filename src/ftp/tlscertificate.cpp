#include "ftp/tlscertificate.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStringList>

namespace {

QString tr(const char *texte)
{
    return QCoreApplication::translate("tlscertificate", texte);
}

QString raison(const QSslError &erreur, const QString &hote)
{
    switch (erreur.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return tr("certificat auto-signé, qu'aucune autorité ne garantit");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return tr("certificat délivré par une autorité inconnue de ce système");
    case QSslError::CertificateExpired:
        return tr("certificat expiré");
    case QSslError::CertificateNotYetValid:
        return tr("certificat pas encore valable");
    case QSslError::HostNameMismatch:
        return tr("certificat établi pour un autre nom que « %1 »").arg(hote);
    case QSslError::CertificateRevoked:
        return tr("certificat révoqué");
    case QSslError::NoPeerCertificate:
        return tr("le serveur n'a présenté aucun certificat");
    default:
        return tr("certificat invalide (%1)").arg(erreur.errorString());
    }
}

QString noms(const QSslCertificate &certificat, bool emetteur)
{
    const QStringList cn = emetteur ? certificat.issuerInfo(QSslCertificate::CommonName)
                                    : certificat.subjectInfo(QSslCertificate::CommonName);
    const QStringList o = emetteur ? certificat.issuerInfo(QSslCertificate::Organization)
                                   : certificat.subjectInfo(QSslCertificate::Organization);
    QStringList parties = cn;
    for (const QString &organisation : o)
        parties.append(organisation);
    return parties.isEmpty() ? tr("(sans nom)") : parties.join(QStringLiteral(", "));
}

} // namespace

QString empreinteSha256(const QSslCertificate &certificat)
{
    if (certificat.isNull())
        return QString();
    return QString::fromLatin1(certificat.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QByteArray octetsEmpreinte(const QString &empreinte)
{
    QString hex = empreinte;
    hex.remove(QRegularExpression(QStringLiteral("[:\\s]")));
    static const QRegularExpression hexa(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    if (!hexa.match(hex).hasMatch())
        return QByteArray();
    return QByteArray::fromHex(hex.toLatin1());
}

QString raisonsRefus(const QList<QSslError> &erreurs, const QString &hote)
{
    QStringList lignes;
    for (const QSslError &erreur : erreurs) {
        const QString texte = raison(erreur, hote);
        if (!lignes.contains(texte))
            lignes.append(texte);
    }
    if (lignes.isEmpty())
        lignes.append(tr("certificat refusé"));
    return lignes.join(QLatin1Char('\n'));
}

QString descriptionCertificat(const QSslCertificate &certificat)
{
    const QString format = QStringLiteral("dd/MM/yyyy HH:mm");
    return tr("Délivré à : %1\nDélivré par : %2\nValable du %3 au %4\nEmpreinte SHA-256 : %5")
        .arg(noms(certificat, false), noms(certificat, true),
             certificat.effectiveDate().toLocalTime().toString(format),
             certificat.expiryDate().toLocalTime().toString(format), empreinteSha256(certificat));
}
