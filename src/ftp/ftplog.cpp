#include "app/fenprincipale.h"

#include "ftp/remotepaths.h"
#include "ftp/runlog.h"

#include <QLineEdit>
#include <QTextEdit>

void FenPrincipale::ecrireJournal(const QString &texte)
{
    journal->insertPlainText(texte);
    if (m_journalRun)
        m_journalRun->ecrire(texte);
}

void FenPrincipale::curseurJournalFin()
{
    journal->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
}

void FenPrincipale::changementEtat(int state)
{
    switch (state) {
    case FtpClient::Connecting:
        ecrireJournal(tr("Connection à ") + serveur->text() + QStringLiteral("..."));
        break;
    case FtpClient::Connected:
        ecrireJournal(tr("Connecté !\n"));
        break;
    case FtpClient::LoggedIn:
        ecrireJournal(tr("Utilisateur ") + utilisateur->text() + tr(" connecté\n"));
        break;
    case FtpClient::Closing:
        ecrireJournal(tr("Connexion fermée.\n"));
        break;
    default:
        break;
    }
    curseurJournalFin();
}

void FenPrincipale::debutCommande(int id)
{
    Q_UNUSED(id);
    if (ftp->currentCommand() == FtpClient::Put && indexCourant < listeEnvoi.size())
        ecrireJournal(cheminAffiche(listeEnvoi.at(indexCourant), dossierLocal->text())
                      + QStringLiteral("..."));
}

void FenPrincipale::finCommande(int id, bool error)
{
    Q_UNUSED(id);
    const FtpClient::Command commande = ftp->currentCommand();
    if (commande == FtpClient::Put)
        ecrireJournal(error ? tr("Echec\n") : tr("Envoyé\n"));
    else if (commande == FtpClient::Mkdir && error)
        ecrireJournal(tr("Erreur mkdir\n"));
    if (error)
        journaliserErreur(commande);
    curseurJournalFin();
}

void FenPrincipale::journaliserErreur(int commande)
{
    switch (ftp->error()) {
    case FtpClient::UnknownError:
        // A failed CWD is how a walk finds a missing level: not worth a line.
        if (commande != FtpClient::Cd)
            ecrireJournal(tr("Erreur non identifiée\n"));
        break;
    case FtpClient::HostNotFound:
        ecrireJournal(tr("Serveur non trouvé\n"));
        break;
    case FtpClient::ConnectionRefused:
        ecrireJournal(tr("Connexion refusée : vérifiez les paramètres\n"));
        break;
    case FtpClient::NotConnected:
        ecrireJournal(tr("Impossible d'envoyer la commande\nReconnexion au serveur...\n"));
        if (commande != FtpClient::ConnectToHost && commande != FtpClient::Close && !m_quitte)
            ConnexionServeur();
        break;
    default:
        break;
    }
}

void FenPrincipale::Done(bool error)
{
    Q_UNUSED(error);
}

void FenPrincipale::ListeInfo(const FtpUrlInfo &i)
{
    Q_UNUSED(i);
}
