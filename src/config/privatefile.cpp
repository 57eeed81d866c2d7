#include "privatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr QFileDevice::Permissions proprietaireSeul =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions proprietaire =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions autres = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
} // namespace

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
    if (!QFileInfo::exists(chemin))
        return;
    // Only what others may do is taken away: a file its owner made read-only
    // stays so (on Windows, the attribute), and the failed writes say why.
    const QFileDevice::Permissions avant = QFile::permissions(chemin);
    if (avant & autres)
        QFile::setPermissions(chemin, avant & proprietaire);
}
