#include "listedossier.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(NUVOLA_LISTE_QDIR)
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#define NUVOLA_LISTE_POSIX 1
#endif

namespace {

enum class Sorte { Fichiers, Dossiers };

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

#ifdef NUVOLA_LISTE_POSIX
// A tree of thousands of unchanged files is read on every run: going through
// readdir and one fstatat per entry avoids building a QFileInfo and a local
// QDateTime for each of them. The rules are QDir's on this platform: a name
// starting with "." is hidden; files are regular files that are not links;
// folders are directories, links to directories included.
bool listerPosix(const QString &dossier, Sorte sorte, Seuil &seuil, ListeEntrees &liste)
{
    // Same folder text as QDir gives its entries.
    QString prefixe = QDir(dossier).path();
    DIR *d = ::opendir(QFile::encodeName(prefixe).constData());
    if (!d)
        return false;
    if (!prefixe.endsWith(QLatin1Char('/')))
        prefixe.append(QLatin1Char('/'));
    const int fd = ::dirfd(d);
    const int debutNom = int(prefixe.size());
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st;
        bool lien = false;
        if (sorte == Sorte::Fichiers) {
            if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN)
                continue;
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
                continue;
        } else {
            if (e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
                continue;
            if (e->d_type != DT_DIR) {
                struct stat lst;
                if (::fstatat(fd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                lien = S_ISLNK(lst.st_mode);
            }
            if (::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISDIR(st.st_mode))
                continue;
        }
        if (!seuil.garde(qint64(st.st_mtime)))
            continue;
        EntreeListe entree;
        entree.chemin = prefixe + QFile::decodeName(e->d_name);
        entree.date = qint64(st.st_mtime);
        entree.debutNom = debutNom;
        entree.lien = lien;
        liste.append(std::move(entree));
    }
    ::closedir(d);
    return true;
}
#endif

ListeEntrees lister(const QString &dossier, Sorte sorte, Seuil &seuil)
{
    ListeEntrees liste;
    // An empty QDir path would mean the process's working folder.
    if (dossier.isEmpty())
        return liste;
#ifdef NUVOLA_LISTE_POSIX
    listerPosix(dossier, sorte, seuil, liste);
#else
    const QDir::Filters filtres = sorte == Sorte::Fichiers ? QDir::Files | QDir::NoSymLinks
                                                           : QDir::AllDirs | QDir::NoDotAndDotDot;
    // Going through QDir gives the entries the same folder text as
    // QDir::entryInfoList would (separators converted, one trailing "/" removed
    // except on a root).
    QDir dir(dossier);
    dir.setFilter(filtres);
    QDirIterator it(dir);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QDateTime modif = info.lastModified();
        // Gone between the read of the folder and the stat: nothing to send.
        if (!modif.isValid() || !seuil.garde(modif.toSecsSinceEpoch()))
            continue;
        EntreeListe entree;
        entree.chemin = info.filePath();
        entree.date = modif.toSecsSinceEpoch();
        entree.debutNom = int(entree.chemin.size() - info.fileName().size());
        entree.lien = sorte == Sorte::Dossiers && info.isSymLink();
        liste.append(std::move(entree));
    }
#endif
    trierListe(liste);
    return liste;
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
    Seuil tout;
    return lister(dossier, Sorte::Fichiers, tout);
}

ListeEntrees listeFichiersApres(const QString &dossier, qint64 apres, int &plusAnciens)
{
    Seuil seuil;
    seuil.apres = apres;
    ListeEntrees liste = lister(dossier, Sorte::Fichiers, seuil);
    plusAnciens = seuil.ecartes;
    return liste;
}

ListeEntrees listeSousDossiers(const QString &dossier)
{
    Seuil tout;
    return lister(dossier, Sorte::Dossiers, tout);
}
