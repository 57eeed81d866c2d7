#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One entry of a folder listing, as the scan needs it.
struct EntreeListe
{
    QString chemin;    // "<listed folder>/<name>", "/" as separator
    qint64 date = 0;   // modification time, whole seconds since the epoch (UTC)
    int debutNom = 0;  // position of the name inside chemin
    bool lien = false; // the entry is a symbolic link (folder listings only)

    QStringView nom() const { return QStringView(chemin).mid(debutNom); }
};

using ListeEntrees = QVector<EntreeListe>;

// Newest first to the second, equal times by case-sensitive name. Qt 6's
// QDir::Time compares milliseconds, which would reorder files saved within the
// same second and so change which ones an early stop leaves out.
void trierListe(ListeEntrees &liste);

// Plain files of one folder: no links, no hidden files, no special files.
// A folder that is missing or unreadable lists as empty.
ListeEntrees listeFichiers(const QString &dossier);

// The same listing cut at a time: only the files modified after `apres` are
// returned (sorted as above); the others are only counted in `plusAnciens`.
// On every run nearly all files are older than the last transfer, and they
// need neither a path nor a place in the sort.
ListeEntrees listeFichiersApres(const QString &dossier, qint64 apres, int &plusAnciens);

// Sub-folders of one folder, links to folders included, without "." "..",
// without hidden folders.
ListeEntrees listeSousDossiers(const QString &dossier);

// What one read of a folder gives the scan.
struct ContenuDossier
{
    ListeEntrees fichiers;     // as listeFichiersApres
    int plusAnciens = 0;       // files at or before the cut, only counted
    ListeEntrees sousDossiers; // as listeSousDossiers
    // The folder is there but could not be read (rights, a failing disk): it
    // lists as empty, which must not pass for a folder with nothing new.
    // A folder gone since it was found is not unreadable, only empty.
    bool illisible = false;
    // Paths of the newer files and of the sub-folders whose names cannot be
    // turned into a path that reaches them (see ContenuDossier's listing).
    QStringList fichiersNomIllisible;
    QStringList dossiersNomIllisible;
};

// Files and sub-folders in one read: the scan walks every folder of the tree
// on every run, and reading each one twice doubled the cost of the walk.
ContenuDossier contenuDossier(const QString &dossier, qint64 apres);
