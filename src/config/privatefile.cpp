#include "privatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr QFileDevice::Permissions proprietaireSeul =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

void preparerFichierPrive(const QString &chemin)
{
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    if (QFileInfo::exists(chemin))
        return;
    // Created with the final permissions, so the file is never readable by
    // others, not even for a moment.
    QFile fichier(chemin);
    if (fichier.open(QIODevice::WriteOnly, proprietaireSeul))
        fichier.close();
}

void restreindreAuProprietaire(const QString &chemin)
{
    if (QFileInfo::exists(chemin))
        QFile::setPermissions(chemin, proprietaireSeul);
}
