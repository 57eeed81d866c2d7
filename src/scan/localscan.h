#pragma once

#include "listedossier.h"

#include <QString>
#include <QStringList>

// What one scan of the local folder found.
struct ResultatAnalyse
{
    QStringList envoi;   // files to send, in upload order
    int nbFichiers = 0;  // every file listed in the walked folders, selected or not
    int nbConsultes = 0; // files whose time the selection had to read
    bool racineExiste = false;
    // The local folder, or folders below it, are there but could not be read:
    // what they hold is unknown, not unchanged.
    bool racineIllisible = false;
    QStringList dossiersIllisibles;
    // Files to send, and folders, whose names are not valid in the system's
    // file-name encoding: nothing can open them by name.
    QStringList fichiersNomIllisible;
    QStringList dossiersNomIllisible;
};

// How the exclusion rules compare names. Windows names ignore case, and
// there a rule may be typed with "\\" between names, while the paths it is
// compared with always have "/".
struct FormeNoms
{
    Qt::CaseSensitivity casse = Qt::CaseSensitive;
    bool antislashSepare = false;

    static FormeNoms posix() { return {}; }
    static FormeNoms windows() { return {Qt::CaseInsensitive, true}; }
    static FormeNoms systeme();
};

// True when the folder at relPath (relative to the local folder, "/" between
// names) is to be skipped with everything below it.
bool estDossierExclu(const QString &relPath, const QString &dossiersExclusText, bool exclureAnnees,
                     quint32 dateComparaison, const FormeNoms &forme = FormeNoms::systeme());

// Appends to envoi the paths of one listing (sorted newest first) that are
// newer than dateComparaison and match no entry of listeExclus. Returns how
// many entries it looked at before stopping.
int selectionFichiers(const ListeEntrees &fichiers, quint32 dateComparaison,
                      const QStringList &listeExclus, QStringList &envoi,
                      const FormeNoms &forme = FormeNoms::systeme());

// The whole walk below racine. The year folders are judged by the year of
// dateAnnees, which differs from dateComparaison only once the clock was set
// back (then every file is compared, the years being still those of now).
ResultatAnalyse analyseDossier(const QString &racine, const QString &dossiersExclusText,
                               bool exclureAnnees, quint32 dateComparaison,
                               const QStringList &listeExclus, quint32 dateAnnees);
inline ResultatAnalyse analyseDossier(const QString &racine, const QString &dossiersExclusText,
                                      bool exclureAnnees, quint32 dateComparaison,
                                      const QStringList &listeExclus)
{
    return analyseDossier(racine, dossiersExclusText, exclureAnnees, dateComparaison, listeExclus,
                          dateComparaison);
}

// True when racine names an existing folder; an empty text names none.
bool dossierExiste(const QString &racine);
