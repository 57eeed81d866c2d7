#include "app/fenprincipale.h"

#include "ftp/commandresult.h"
#include "ftp/remotepaths.h"
#include "ftp/scratchcopy.h"
#include "ftp/transfertype.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QLineEdit>

bool FenPrincipale::EnvoiFichier(const QString &chemin)
{
    const QString relatif = dossierRelatif(chemin, dossierLocal->text());
    if (relatif != dossierCourant && !CreerDossiersServeur(relatif))
        return false;

    const std::unique_ptr<QIODevice> source = ouvrirSourceEnvoi(chemin);
    if (!source) {
        ++nbEchecs;
        return false;
    }
    const FtpClient::TransferType type = TypeTransfert() ? FtpClient::Ascii : FtpClient::Binary;
    ResultatCommande envoi(ftp, ftp->put(source.get(), nomFichier(chemin), type));
    if (!attendreFinFtp(m_delais.envoi)) {
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

bool FenPrincipale::TypeTransfert()
{
    return estTransfertAscii(listeEnvoi.value(indexCourant), modeBinaire->text());
}
