#include "app/fenprincipale.h"

#include "ftp/commandresult.h"
#include "ftp/remotepaths.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QSpinBox>

void FenPrincipale::creerClientFtp()
{
    // The client of the previous run is no longer used by anything.
    if (ftp)
        ftp->deleteLater();
    ftp = new FtpClient(this);
    connect(ftp, &FtpClient::stateChanged, this, &FenPrincipale::changementEtat);
    connect(ftp, &FtpClient::commandStarted, this, &FenPrincipale::debutCommande);
    connect(ftp, &FtpClient::commandFinished, this, &FenPrincipale::finCommande);
    connect(ftp, &FtpClient::listInfo, this, &FenPrincipale::ListeInfo);
    connect(ftp, &FtpClient::done, this, &FenPrincipale::Done);
}

bool FenPrincipale::AttenteFtp(QObject *emetteur, const char *signal, int delaiMs)
{
    QEventLoop boucle;
    QTimer minuterie;
    minuterie.setInterval(delaiMs);
    minuterie.setSingleShot(true);
    connect(emetteur, signal, &boucle, SLOT(quit()));
    connect(&minuterie, &QTimer::timeout, &boucle, &QEventLoop::quit);
    minuterie.start();
    boucle.exec();
    // A single-shot timer stops itself when it fires: still active means the
    // signal ended the wait.
    return minuterie.isActive();
}

bool FenPrincipale::attendreFinFtp(int delaiMs)
{
    return AttenteFtp(ftp, SIGNAL(done(bool)), delaiMs);
}

void FenPrincipale::ConnexionServeur()
{
    ftp->connectToHost(serveur->text(), static_cast<quint16>(port->value()));
    ftp->login(utilisateur->text(), motDePasse->text());
    if (changerDeDossierApresConnexion(dossierServeur->text()))
        ftp->cd(dossierServeur->text());
    dossierCourant = QStringLiteral("/");
}

void FenPrincipale::FinFtp()
{
    ftp->abort();
    ftp->close();
    attendreFinFtp(m_delais.fermeture);
}

bool FenPrincipale::entrerDossier(const QString &dossier, bool *perdu)
{
    ResultatCommande cd(ftp, ftp->cd(dossier));
    attendreFinFtp(m_delais.dossier);
    if (perdu)
        *perdu = cd.erreur() == FtpClient::NotConnected || !cd.termine();
    return cd.reussi() && !m_quitte;
}

bool FenPrincipale::CreerDossiersServeur(const QString &dossierRelatif)
{
    if (!entrerDossier(cheminBaseServeur(dossierServeur->text())))
        return false;
    const QStringList niveaux = niveauxDossier(dossierRelatif);
    for (const QString &niveau : niveaux) {
        if (niveau.isEmpty())
            continue;
        bool perdu = false;
        if (entrerDossier(niveau, &perdu))
            continue;
        // Creating a level is only right where the walk stands: after a lost
        // connection the client is back in its login folder.
        if (perdu || m_quitte)
            return false;
        ftp->mkdir(niveau);
        if (!entrerDossier(niveau))
            return false;
    }
    dossierCourant = dossierRelatif;
    return true;
}
