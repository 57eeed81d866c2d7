#include "listedossier.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(NUVOLA_LISTE_QDIR)
#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#define NUVOLA_LISTE_POSIX 1
#endif

namespace {

// Entries dated at or before `apres` are counted in `ecartes`, not listed.
struct Seuil
{
    qint64 apres = std::numeric_limits<qint64>::min();
    int ecartes = 0;

    bool garde(qint64 date)
    {
        if (date > apres)
            return true;
        ++ecartes;
        return false;
    }
};

// Where one read of a folder puts what it finds; a null list is not wanted.
// The cut applies to files only: every sub-folder is walked.
struct Destination
{
    ListeEntrees *fichiers = nullptr;
    Seuil seuil;
    ListeEntrees *dossiers = nullptr;
    // Entries whose names are not valid in the file-name encoding: their
    // decoded text names no file, so they can be neither opened nor walked.
    QStringList *fichiersNomIllisible = nullptr;
    QStringList *dossiersNomIllisible = nullptr;
};

EntreeListe entree(const QString &prefixe, QString nom, qint64 date, bool lien)
{
    EntreeListe e;
    e.chemin = prefixe + nom;
    e.date = date;
    e.debutNom = int(prefixe.size());
    e.lien = lien;
    return e;
}

#ifdef NUVOLA_LISTE_POSIX
// Appends the entry, or only its path when its name does not survive the
// round trip through text (bytes that are not UTF-8 on a UTF-8 system).
void ajouter(ListeEntrees *liste, QStringList *nomsIllisibles, const QString &prefixe,
             const char *brut, qint64 date, bool lien)
{
    const QString nom = QFile::decodeName(brut);
    if (QFile::encodeName(nom) == QByteArrayView(brut)) {
        liste->append(entree(prefixe, nom, date, lien));
    } else if (nomsIllisibles) {
        nomsIllisibles->append(prefixe + nom);
    }
}

// A tree of thousands of unchanged files is read on every run: going through
// readdir and one fstatat per entry avoids building a QFileInfo and a local
// QDateTime for each of them. The rules are QDir's on this platform: a name
// starting with "." is hidden; files are regular files that are not links;
// folders are directories, links to directories included.
// False when the folder exists but could not be read, or not to the end.
bool listerPosix(const QString &dossier, Destination &dest)
{
    // Same folder text as QDir gives its entries.
    QString prefixe = QDir(dossier).path();
    DIR *d = ::opendir(QFile::encodeName(prefixe).constData());
    if (!d)
        return errno == ENOENT || errno == ENOTDIR;
    if (!prefixe.endsWith(QLatin1Char('/')))
        prefixe.append(QLatin1Char('/'));
    const int fd = ::dirfd(d);
    bool complet = true;
    for (;;) {
        // readdir() tells its end from its failure by errno alone.
        errno = 0;
        const dirent *e = ::readdir(d);
        if (!e) {
            complet = complet && errno == 0;
            break;
        }
        if (e->d_name[0] == '.')
            continue;
        const unsigned char type = e->d_type;
        const bool fichierPossible = dest.fichiers && (type == DT_REG || type == DT_UNKNOWN);
        const bool dossierPossible =
            dest.dossiers && (type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN);
        if (!fichierPossible && !dossierPossible)
            continue;
        struct stat st;
        bool lien = false;
        if (type != DT_DIR) {
            // Tells a link from what it leads to, and the type d_type left unknown.
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                // Gone since readdir: nothing to send. Anything else (a folder
                // that may be read but not searched) hides an entry that is there.
                complet = complet && errno == ENOENT;
                continue;
            }
            if (S_ISREG(st.st_mode)) {
                if (fichierPossible && dest.seuil.garde(qint64(st.st_mtime)))
                    ajouter(dest.fichiers, dest.fichiersNomIllisible, prefixe, e->d_name,
                            st.st_mtime, false);
                continue;
            }
            lien = S_ISLNK(st.st_mode);
            if (!dossierPossible || (!lien && !S_ISDIR(st.st_mode)))
                continue;
        }
        // A folder's own time, or that of the folder a link leads to.
        if ((type == DT_DIR || lien) && ::fstatat(fd, e->d_name, &st, 0) != 0) {
            // A link that leads nowhere is no folder of the site; a folder is.
            complet = complet && (lien || errno == ENOENT);
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            continue;
        ajouter(dest.dossiers, dest.dossiersNomIllisible, prefixe, e->d_name, st.st_mtime, lien);
    }
    ::closedir(d);
    return complet;
}
#else
// QDirIterator reports no error. A folder that can be read lists at least
// "." and ".." (a Windows drive root, which has neither, holds its system
// folders): one that shows nothing at all could not be read.
bool listerQDir(const QString &dossier, Destination &dest)
{
    QDir::Filters filtres = QDir::NoDotAndDotDot;
    if (dest.fichiers)
        filtres |= QDir::Files;
    if (dest.dossiers)
        filtres |= QDir::AllDirs;
    // Going through QDir gives the entries the same folder text as
    // QDir::entryInfoList would (separators converted, one trailing "/" removed
    // except on a root).
    QDir dir(dossier);
    dir.setFilter(filtres);
    QDirIterator it(dir);
    bool trouve = false;
    bool complet = true;
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        trouve = true;
        // A Windows shortcut to a folder reads as that folder, but cannot be
        // listed through its own name: it is passed over, as links to files are.
        const bool estDossier = dest.dossiers && info.isDir() && !info.isShortcut();
        // Links to files are never sent: only what the link leads to could be.
        if (!estDossier && (!dest.fichiers || info.isSymLink() || !info.isFile()))
            continue;
        const QDateTime modif = info.lastModified();
        if (!modif.isValid()) {
            // Gone between the read of the folder and the stat: nothing to
            // send. Still there (a folder that may be read but not searched):
            // an entry is hidden.
            complet = complet && !QFileInfo::exists(info.filePath());
            continue;
        }
        if (!estDossier && !dest.seuil.garde(modif.toSecsSinceEpoch()))
            continue;
        const QString chemin = info.filePath();
        const QString prefixe = chemin.left(chemin.size() - info.fileName().size());
        // A junction leads elsewhere as a link does: the loop guard must see it.
        (estDossier ? dest.dossiers : dest.fichiers)
            ->append(entree(prefixe, info.fileName(), modif.toSecsSinceEpoch(),
                            estDossier && (info.isSymLink() || info.isJunction())));
    }
    if (!complet)
        return false;
    if (trouve || !QFileInfo(dossier).isDir())
        return true;
    return !QDir(dossier)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System, QDir::NoSort)
                .isEmpty();
}
#endif

// False when the folder is there but could not be read.
bool lister(const QString &dossier, Destination &dest)
{
    // An empty QDir path would mean the process's working folder.
    if (dossier.isEmpty())
        return true;
#ifdef NUVOLA_LISTE_POSIX
    const bool lu = listerPosix(dossier, dest);
#else
    const bool lu = listerQDir(dossier, dest);
#endif
    if (dest.fichiers)
        trierListe(*dest.fichiers);
    if (dest.dossiers)
        trierListe(*dest.dossiers);
    return lu;
}

} // namespace

void trierListe(ListeEntrees &liste)
{
    std::sort(liste.begin(), liste.end(), [](const EntreeListe &a, const EntreeListe &b) {
        if (a.date != b.date)
            return a.date > b.date;
        return a.nom().compare(b.nom(), Qt::CaseSensitive) < 0;
    });
}

ListeEntrees listeFichiers(const QString &dossier)
{
    int plusAnciens = 0;
    return listeFichiersApres(dossier, std::numeric_limits<qint64>::min(), plusAnciens);
}

ListeEntrees listeFichiersApres(const QString &dossier, qint64 apres, int &plusAnciens)
{
    ListeEntrees liste;
    Destination dest;
    dest.fichiers = &liste;
    dest.seuil.apres = apres;
    lister(dossier, dest);
    plusAnciens = dest.seuil.ecartes;
    return liste;
}

ListeEntrees listeSousDossiers(const QString &dossier)
{
    ListeEntrees liste;
    Destination dest;
    dest.dossiers = &liste;
    lister(dossier, dest);
    return liste;
}

ContenuDossier contenuDossier(const QString &dossier, qint64 apres)
{
    ContenuDossier contenu;
    Destination dest;
    dest.fichiers = &contenu.fichiers;
    dest.seuil.apres = apres;
    dest.dossiers = &contenu.sousDossiers;
    dest.fichiersNomIllisible = &contenu.fichiersNomIllisible;
    dest.dossiersNomIllisible = &contenu.dossiersNomIllisible;
    contenu.illisible = !lister(dossier, dest);
    contenu.plusAnciens = dest.seuil.ecartes;
    return contenu;
}
