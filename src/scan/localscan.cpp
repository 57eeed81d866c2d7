#include "localscan.h"

#include "lecteurdossiers.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

struct DossierTrouve
{
    QString relatif;
    int parent = -1;           // index in the walk list, -1 for the local folder itself
    mutable QString canonique; // filled on first need only
};

class Parcours
{
public:
    explicit Parcours(const QString &racine) : m_racine(racine) {}

    const QString &racine() const { return m_racine; }
    QVector<DossierTrouve> &dossiers() { return m_dossiers; }

    // Appends the sub-folders of the folder at index parent (-1: the local
    // folder), leaving out links that lead back into the chain of folders
    // that holds them.
    void ajouterSousDossiers(int parent, const ListeEntrees &sous)
    {
        const QString prefixe =
            parent < 0 ? QString() : m_dossiers.at(parent).relatif + QLatin1Char('/');
        for (const EntreeListe &entree : sous) {
            if (entree.lien && boucle(parent, entree.chemin))
                continue;
            DossierTrouve d;
            d.relatif = prefixe;
            d.relatif.append(entree.nom());
            d.parent = parent;
            m_dossiers.append(std::move(d));
        }
    }

private:
    // The walk keeps no record of listed folders, so a link to the folder that
    // holds it, or to one of its ancestors, would be listed forever.
    bool boucle(int parent, const QString &lien)
    {
        const QString cible = QFileInfo(lien).canonicalFilePath();
        // A link that cannot be resolved cannot be proven harmless.
        if (cible.isEmpty())
            return true;
        for (int i = parent; i >= 0; i = m_dossiers.at(i).parent) {
            if (canonique(i) == cible)
                return true;
        }
        return canoniqueRacine() == cible;
    }

    const QString &canonique(int index)
    {
        DossierTrouve &d = m_dossiers[index];
        if (d.canonique.isEmpty())
            d.canonique = QFileInfo(m_racine + QLatin1Char('/') + d.relatif).canonicalFilePath();
        return d.canonique;
    }

    const QString &canoniqueRacine()
    {
        if (m_canoniqueRacine.isEmpty())
            m_canoniqueRacine = QFileInfo(m_racine).canonicalFilePath();
        return m_canoniqueRacine;
    }

    QString m_racine;
    QString m_canoniqueRacine;
    QVector<DossierTrouve> m_dossiers;
};

bool exclu(const QString &chemin, const QStringList &listeExclus, Qt::CaseSensitivity casse)
{
    for (const QString &e : listeExclus) {
        // contains() also covers equality; an empty entry occurs in every path.
        if (chemin.contains(e, casse))
            return true;
    }
    return false;
}

QStringList avecSlashs(QStringList regles, const FormeNoms &forme)
{
    if (forme.antislashSepare)
        for (QString &r : regles)
            r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return regles;
}

} // namespace

FormeNoms FormeNoms::systeme()
{
#if defined(Q_OS_WIN)
    return windows();
#else
    return posix();
#endif
}

bool estDossierExclu(const QString &relPath, const QString &dossiersExclusText, bool exclureAnnees,
                     quint32 dateComparaison, const FormeNoms &forme)
{
    if (exclureAnnees) {
        const int annee = QDateTime::fromSecsSinceEpoch(dateComparaison).date().year();
        for (int n = 1995; n < annee; ++n) {
            if (relPath == QString::number(n))
                return true;
        }
    }
    if (relPath.isEmpty())
        return false;
    const QStringList pieces =
        avecSlashs(dossiersExclusText.split(QLatin1Char(';'), Qt::KeepEmptyParts), forme);
    return pieces.contains(relPath, forme.casse);
}

int selectionFichiers(const ListeEntrees &fichiers, quint32 dateComparaison,
                      const QStringList &listeExclus, QStringList &envoi, const FormeNoms &forme)
{
    const QStringList regles = avecSlashs(listeExclus, forme);
    int consultes = 0;
    for (const EntreeListe &f : fichiers) {
        ++consultes;
        // Compared as 64-bit: a file dated before 1970 must not wrap round to
        // a time far in the future and be sent on every run.
        if (f.date <= qint64(dateComparaison))
            break;
        if (!regles.isEmpty() && exclu(f.chemin, regles, forme.casse))
            continue;
        envoi.append(f.chemin);
    }
    return consultes;
}

ResultatAnalyse analyseDossier(const QString &racineTexte, const QString &dossiersExclusText,
                               bool exclureAnnees, quint32 dateComparaison,
                               const QStringList &listeExclus, quint32 dateAnnees)
{
    ResultatAnalyse resultat;
    // An empty text would make QDir list the process's working folder.
    if (racineTexte.isEmpty())
        return resultat;
    const QString racine = QDir::fromNativeSeparators(racineTexte);
    resultat.racineExiste = QFileInfo(racine).isDir();
    if (!resultat.racineExiste)
        return resultat;

    Parcours parcours(racine);
    QVector<DossierTrouve> &dossiers = parcours.dossiers();
    const bool finSlash = racine.endsWith(QLatin1Char('/'));

    const FormeNoms forme = FormeNoms::systeme();
    const QStringList regles = avecSlashs(listeExclus, forme);
    auto garder = [&](const ContenuDossier &contenu) {
        resultat.nbFichiers += int(contenu.fichiers.size()) + contenu.plusAnciens;
        // As if the whole sorted listing had been walked: the newest of the
        // older files is where the selection would have stopped.
        resultat.nbConsultes +=
            selectionFichiers(contenu.fichiers, dateComparaison, listeExclus, resultat.envoi) +
            (contenu.plusAnciens > 0 ? 1 : 0);
        resultat.nbFichiers += int(contenu.fichiersNomIllisible.size());
        for (const QString &f : contenu.fichiersNomIllisible)
            if (!exclu(f, regles, forme.casse))
                resultat.fichiersNomIllisible.append(f);
        resultat.dossiersNomIllisible += contenu.dossiersNomIllisible;
    };

    const ContenuDossier contenuRacine = contenuDossier(racine, dateComparaison);
    resultat.racineIllisible = contenuRacine.illisible;
    garder(contenuRacine);
    parcours.ajouterSousDossiers(-1, contenuRacine.sousDossiers);

    // Breadth-first, one depth at a time: the folders of one depth are read
    // together, then taken in order, so the files come in the same order as
    // a walk of one folder after the other. Excluded folders are dropped
    // before they are read.
    LecteurDossiers lecteur;
    for (int debut = 0; debut < dossiers.size();) {
        const int fin = int(dossiers.size());
        QVector<int> gardes;
        QStringList chemins;
        for (int i = debut; i < fin; ++i) {
            const QString &relatif = dossiers.at(i).relatif;
            if (estDossierExclu(relatif, dossiersExclusText, exclureAnnees, dateAnnees))
                continue;
            gardes.append(i);
            chemins.append(finSlash ? racine + relatif : racine + QLatin1Char('/') + relatif);
        }
        const QVector<ContenuDossier> contenus = lecteur.lire(chemins, dateComparaison);
        for (int k = 0; k < gardes.size(); ++k) {
            if (contenus.at(k).illisible)
                resultat.dossiersIllisibles.append(chemins.at(k));
            garder(contenus.at(k));
            parcours.ajouterSousDossiers(gardes.at(k), contenus.at(k).sousDossiers);
        }
        debut = fin;
    }
    return resultat;
}

bool dossierExiste(const QString &racine)
{
    return !racine.isEmpty() && QFileInfo(racine).isDir();
}
