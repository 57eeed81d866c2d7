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
    oublierDossiersDistants();
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

bool FenPrincipale::attendreFinEnvoi(int delaiSansAvanceeMs)
{
    // Counted from the last progress, not from the start: a bound on the
    // whole upload would fail every file that the line cannot carry in that
    // time, on every run, and every run would then send the whole tree again.
    // A server that stops taking data is still given up after the delay.
    QEventLoop boucle;
    QTimer minuterie;
    minuterie.setInterval(delaiSansAvanceeMs);
    minuterie.setSingleShot(true);
    connect(ftp, &FtpClient::done, &boucle, &QEventLoop::quit);
    connect(ftp, &FtpClient::dataTransferProgress, &minuterie, qOverload<>(&QTimer::start));
    connect(&minuterie, &QTimer::timeout, &boucle, &QEventLoop::quit);
    minuterie.start();
    boucle.exec();
    return minuterie.isActive();
}

void FenPrincipale::ConnexionServeur()
{
    oublierDossiersDistants();
    ftp->connectToHost(serveur->text(), static_cast<quint16>(port->value()));
    ftp->login(utilisateur->text(), motDePasse->text());
    if (changerDeDossierApresConnexion(dossierServeur->text()))
        ftp->cd(dossierApresConnexion(dossierServeur->text()));
    // Nothing waits for that cd: if the server refused it, the session stands
    // in the login folder, and files of the base folder would be stored there
    // without a walk. The next upload walks from the absolute base whatever
    // the cd did.
    dossierCourant = dossierDistantInconnu();
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
    const QString base = baseServeur();
    const QStringList niveaux = niveauxAParcourir(dossierRelatif);
    const QStringList chemins = cheminsDistants(base, niveaux);
    const QString cible = chemins.isEmpty() ? base : chemins.last();
    if (cible != m_dossierDistant && !allerDossierDistant(base, niveaux))
        return false;
    dossierCourant = dossierRelatif;
    return true;
}

void FenPrincipale::oublierDossiersDistants()
{
    m_dossiersDistants.clear();
    m_dossierDistant.clear();
}

// The walks name absolute paths, and the login folder is not the server's
// root everywhere (vsftpd without chroot_local_user starts in the user's
// home): the server says where the session stands. Without an answer the
// base is "/" + the server folder, which holds where the login folder is the
// root.
void FenPrincipale::situerDossierBase()
{
    ResultatCommande pwd(ftp, ftp->pwd());
    const bool fini = attendreFinFtp(m_delais.dossier);
    m_baseServeur = fini && pwd.reussi() ? ftp->workingDirectory() : QString();
}

QString FenPrincipale::baseServeur() const
{
    return m_baseServeur.isEmpty() ? cheminBaseServeur(dossierServeur->text()) : m_baseServeur;
}

void FenPrincipale::retenirDossierBase()
{
    const QString base = baseServeur();
    m_dossiersDistants.insert(base, EtatDossierDistant::Existe);
    m_dossierDistant = base;
}

bool FenPrincipale::dossierDistantExiste(const QString &absolu) const
{
    const auto it = m_dossiersDistants.constFind(absolu);
    return it != m_dossiersDistants.cend() && *it != EtatDossierDistant::Absent;
}

bool FenPrincipale::allerDossierDistant(const QString &base, const QStringList &niveaux)
{
    const QStringList chemins = cheminsDistants(base, niveaux);
    const auto est = [this](const QString &absolu, EtatDossierDistant etat) {
        const auto it = m_dossiersDistants.constFind(absolu);
        return it != m_dossiersDistants.cend() && *it == etat;
    };
    // A level is known to be missing when this connection already failed to
    // enter it, or when it is new to a folder this connection has created.
    const auto absent = [&](int i) {
        const QString &dossier = chemins.at(i);
        return est(dossier, EtatDossierDistant::Absent) ||
               (!m_dossiersDistants.contains(dossier) &&
                est(i > 0 ? chemins.at(i - 1) : base, EtatDossierDistant::Cree));
    };

    bool perdu = false;
    // One absolute CWD reaches a folder that exists, wherever the walk stands.
    if (niveaux.isEmpty() || !absent(int(niveaux.size()) - 1)) {
        const QString cible = chemins.isEmpty() ? base : chemins.last();
        if (entrerDossierDistant(cible, &perdu)) {
            for (const QString &dossier : chemins)
                if (!dossierDistantExiste(dossier))
                    m_dossiersDistants.insert(dossier, EtatDossierDistant::Existe);
            return true;
        }
        // The base itself is never created: the session checked it at login.
        if (perdu || m_quitte || niveaux.isEmpty())
            return false;
    }

    // Down from the deepest folder known to exist, never above the base. Every
    // command names its absolute path, so no CWD is spent on standing in the
    // parent first, and a level just made is entered only if it is the last.
    int premier = int(niveaux.size()) - 1;
    while (premier > 0 && !dossierDistantExiste(chemins.at(premier - 1)))
        --premier;
    for (int i = premier; i < niveaux.size(); ++i) {
        if (!absent(i)) {
            if (entrerDossierDistant(chemins.at(i), &perdu))
                continue;
            if (perdu || m_quitte)
                return false;
        }
        if (!creerNiveauDistant(chemins.at(i), i == niveaux.size() - 1))
            return false;
    }
    return true;
}

bool FenPrincipale::entrerDossierDistant(const QString &absolu, bool *perdu)
{
    if (entrerDossier(absolu, perdu)) {
        m_dossierDistant = absolu;
        if (!dossierDistantExiste(absolu))
            m_dossiersDistants.insert(absolu, EtatDossierDistant::Existe);
        return true;
    }
    if (*perdu || m_quitte) {
        // Where the client stands now is anybody's guess.
        m_dossierDistant.clear();
        return false;
    }
    // Gone, or never there: nothing below it can be entered either.
    const QString dessous = absolu.endsWith(QLatin1Char('/')) ? absolu : absolu + QLatin1Char('/');
    for (auto it = m_dossiersDistants.begin(); it != m_dossiersDistants.end();) {
        if (it.key().startsWith(dessous))
            it = m_dossiersDistants.erase(it);
        else
            ++it;
    }
    m_dossiersDistants.insert(absolu, EtatDossierDistant::Absent);
    return false;
}

bool FenPrincipale::creerNiveauDistant(const QString &absolu, bool entrer)
{
    ResultatCommande creation(ftp, ftp->mkdir(absolu));
    attendreFinFtp(m_delais.dossier);
    if (creation.erreur() == FtpClient::NotConnected || !creation.termine() || m_quitte) {
        m_dossierDistant.clear();
        return false;
    }
    if (creation.reussi()) {
        m_dossiersDistants.insert(absolu, EtatDossierDistant::Cree);
        // The next level's MKD, or the CWD into the last one, tells soon
        // enough whether it is really there.
        if (!entrer)
            return true;
    }
    // A refused MKD may still leave the folder there (another client made
    // it in between): entering it is what tells.
    bool perdu = false;
    return entrerDossierDistant(absolu, &perdu);
}
