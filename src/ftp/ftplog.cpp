#include "app/fenprincipale.h"

#include "ftp/remotepaths.h"
#include "ftp/runlog.h"
#include "ftp/serverreply.h"

#include <QLineEdit>
#include <QTextEdit>
#include <QTimer>

namespace {

// Often enough to look live, seldom enough that laying out and painting the
// pane no longer costs more than the uploads of small files.
constexpr int intervalleJournalMs = 50;

} // namespace

// A local path as the log names it: below the local folder, on one line.
QString FenPrincipale::cheminJournal(const QString &chemin) const
{
    return cheminSurUneLigne(cheminAffiche(chemin, dossierLocal->text()));
}

void FenPrincipale::ecrireJournal(const QString &texte)
{
    // The run log gets every text at once: it is what survives a crash.
    if (m_journalRun)
        m_journalRun->ecrire(texte);
    m_journalEnAttente += texte;
    // Outside the uploads (connecting, closing, no connection) the pane is
    // written at once, so that it is whole whenever the session is not.
    if (!ftp || ftp->state() != FtpClient::LoggedIn || m_quitte) {
        afficherJournal();
        return;
    }
    if (!m_journalProgramme) {
        m_journalProgramme = true;
        QTimer::singleShot(intervalleJournalMs, this, [this] {
            m_journalProgramme = false;
            afficherJournal();
        });
    }
}

void FenPrincipale::afficherJournal()
{
    if (m_journalEnAttente.isEmpty())
        return;
    // At the end, whatever the user clicked meanwhile: the log reads in order.
    if (!journal->textCursor().atEnd())
        journal->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
    journal->insertPlainText(m_journalEnAttente);
    m_journalEnAttente.clear();
}

void FenPrincipale::curseurJournalFin()
{
    // Texts still held go to the end when shown.
    if (m_journalEnAttente.isEmpty() && !journal->textCursor().atEnd())
        journal->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
}

void FenPrincipale::changementEtat(int state)
{
    // What a connection learnt of the remote folders, and where it stood,
    // does not hold for the next one.
    if (state == FtpClient::Unconnected || state == FtpClient::HostLookup ||
        state == FtpClient::Connecting)
        oublierDossiersDistants();
    // The session is over (or not yet open): the pane shows all it was told.
    if (state != FtpClient::LoggedIn)
        afficherJournal();
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
        ecrireJournal(cheminAffiche(listeEnvoi.at(indexCourant), dossierLocal->text()) +
                      QStringLiteral("..."));
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
        // A failed CWD is how a walk finds a missing level: not worth a line;
        // nor a refused PWD, which only leaves the base as typed.
        if (commande != FtpClient::Cd && commande != FtpClient::RawCommand)
            ecrireJournal(tr("Erreur non identifiée\n"));
        // Why the server said no, where the user can do something about it.
        // A refused greeting or login too: "too many connections", "TLS
        // required" say more than "check the password".
        if (commande == FtpClient::Put || commande == FtpClient::Mkdir ||
            commande == FtpClient::Login || commande == FtpClient::ConnectToHost) {
            const QString raison = ligneReponseServeur(ftp->errorString());
            if (!raison.isEmpty())
                ecrireJournal(raison);
        }
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
