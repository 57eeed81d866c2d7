#include "app/fenprincipale.h"

#include "config/settingsfile.h"
#include "ftp/commandresult.h"
#include "ftp/tlscertificate.h"
#include "ftp/trustdialog.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QLineEdit>
#include <QSpinBox>

bool FenPrincipale::connecterServeur()
{
    ftp->setTlsEnabled(actionFtps->isChecked());
    ftp->setTrustedCertificateDigest(octetsEmpreinte(lireEmpreinteFtps(fichierIni)));
    // A second attempt only follows a certificate the user has just trusted.
    for (int essai = 0; essai < 2; ++essai) {
        ResultatCommande connexion(
            ftp, ftp->connectToHost(serveur->text(), static_cast<quint16>(port->value())));
        const bool termine = attendreFinFtp(m_delais.connexion);
        if (termine && connexion.reussi() && !m_quitte) {
            if (ftp->isEncrypted())
                ecrireJournal(tr("Connexion chiffrée (%1)\n").arg(ftp->tlsDescription()));
            return true;
        }
        if (!termine || m_quitte || ftp->tlsFailure() == FtpClient::NoTlsFailure)
            break;
        journaliserEchecTls();
        if (ftp->tlsFailure() != FtpClient::TlsCertificateRejected || !confianceCertificat())
            return false;
    }
    ecrireJournal(tr("Connexion impossible au serveur\nVérifiez le nom et le numéro de port\n"));
    return false;
}

void FenPrincipale::journaliserEchecTls()
{
    switch (ftp->tlsFailure()) {
    case FtpClient::TlsRefused:
        ecrireJournal(tr("Le serveur refuse la connexion sécurisée (FTPS) : %1\n"
                         "Rien n'a été envoyé en clair.\n")
                          .arg(ftp->errorString()));
        return;
    case FtpClient::TlsCertificateRejected:
        ecrireJournal(tr("Certificat du serveur refusé :\n%1\n%2\n")
                          .arg(raisonsRefus(ftp->tlsErrors(), serveur->text()),
                               descriptionCertificat(ftp->peerCertificate())));
        if (IsModeAuto())
            ecrireJournal(tr("En mode automatique, un certificat n'est jamais accepté sans "
                             "vous : lancez Nuvola sans /auto pour l'examiner.\n"));
        return;
    case FtpClient::TlsProtectionRefused:
        ecrireJournal(tr("Le serveur refuse de chiffrer les transferts (PROT P) : %1\n")
                          .arg(ftp->errorString()));
        return;
    case FtpClient::TlsHandshakeFailed:
        ecrireJournal(
            tr("Échec de la négociation de la connexion sécurisée : %1\n").arg(ftp->errorString()));
        return;
    case FtpClient::NoTlsFailure:
        return;
    }
}

bool FenPrincipale::confianceCertificat()
{
    const QSslCertificate certificat = ftp->peerCertificate();
    if (IsModeAuto() || certificat.isNull())
        return false;
    const bool empreinteConnue = !lireEmpreinteFtps(fichierIni).isEmpty();
    if (!demanderConfianceCertificat(this, serveur->text(),
                                     raisonsRefus(ftp->tlsErrors(), serveur->text()),
                                     descriptionCertificat(certificat), empreinteConnue))
        return false;
    const QString empreinte = empreinteSha256(certificat);
    // Trusted for this run all the same: the user has just said so.
    if (!ecrireEmpreinteFtps(fichierIni, empreinte))
        ecrireJournal(tr("Empreinte non enregistrée (écriture impossible dans %1) : le "
                         "certificat pourra être redemandé\n")
                          .arg(QDir::toNativeSeparators(fichierIni)));
    ftp->setTrustedCertificateDigest(certificat.digest(QCryptographicHash::Sha256));
    ecrireJournal(tr("Certificat accepté (empreinte %1)\n").arg(empreinte));
    return true;
}
