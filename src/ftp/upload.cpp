#include "app/fenprincipale.h"

#include "ftp/commandresult.h"
#include "ftp/remotepaths.h"
#include "ftp/scratchcopy.h"
#include "ftp/transfertype.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIODevice>
#include <QLineEdit>

bool FenPrincipale::EnvoiFichier(const QString &chemin)
{
    const QString relatif = dossierRelatif(chemin, dossierLocal->text());
    // Retrying such a file would only fail again and stop the run on every
    // run to come, resending all the rest each time.
    if (!nomTransmissible(relatif + nomFichier(chemin))) {
        ignorerFichier(chemin, tr("nom impossible à transmettre en FTP"));
        return true;
    }
    if (relatif != dossierCourant && !CreerDossiersServeur(relatif))
        return false;

    const std::unique_ptr<QIODevice> source = ouvrirSourceEnvoi(chemin);
    if (!source) {
        // A file that is gone stays a failure: its whole folder may be gone
        // with it (a drive unplugged during the run), and recording the run
        // would then leave every file of it behind for good.
        const QFileInfo info(chemin);
        if (info.exists()) {
            ignorerFichier(chemin,
                           info.isDir() ? tr("remplacé par un dossier") : tr("lecture impossible"));
            return true;
        }
        ecrireJournal(tr("Fichier introuvable : %1\n").arg(cheminJournal(chemin)));
        ++nbEchecs;
        return false;
    }
    const FtpClient::TransferType type = TypeTransfert() ? FtpClient::Ascii : FtpClient::Binary;
    ResultatCommande envoi(ftp, ftp->put(source.get(), nomFichier(chemin), type));
    if (!attendreFinEnvoi(m_delais.envoi)) {
        ++nbEchecs;
        ecrireJournal(QStringLiteral("\nTemps de transfert dépassé\n"));
        QCoreApplication::processEvents();
        ftp->abort();
        attendreFinFtp(m_delais.abandon);
        // Whatever the abort left behind, the file on the server is incomplete.
        return false;
    }
    // Judged by the upload's own end: after a lost connection the reconnection
    // queued behind it may well succeed and leave no error.
    return envoi.reussi() && !m_quitte;
}

void FenPrincipale::ignorerFichier(const QString &chemin, const QString &raison)
{
    m_fichiersIgnores.append(chemin);
    ecrireJournal(tr("Fichier ignoré : %1 (%2)\n").arg(cheminJournal(chemin), raison));
}

bool FenPrincipale::TypeTransfert()
{
    return estTransfertAscii(listeEnvoi.value(indexCourant), modeBinaire->text());
}
