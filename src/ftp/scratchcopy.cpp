#include "scratchcopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace {

std::unique_ptr<QIODevice> copieTemporaire(QFile &source)
{
    auto copie = std::make_unique<QTemporaryFile>(QDir::tempPath()
                                                  + QStringLiteral("/nuvola-XXXXXX"));
    if (!copie->open())
        return nullptr;
    char tampon[64 * 1024];
    for (;;) {
        const qint64 lus = source.read(tampon, sizeof tampon);
        if (lus < 0)
            return nullptr;
        if (lus == 0)
            break;
        if (copie->write(tampon, lus) != lus)
            return nullptr; // a full temporary folder: read the file in place
    }
    if (!copie->flush() || !copie->seek(0))
        return nullptr;
    return copie;
}

} // namespace

std::unique_ptr<QIODevice> ouvrirSourceEnvoi(const QString &chemin)
{
    auto fichier = std::make_unique<QFile>(chemin);
    if (!fichier->open(QIODevice::ReadOnly))
        return nullptr;
    if (fichier->size() < tailleMaxCopie) {
        if (auto copie = copieTemporaire(*fichier))
            return copie;
        if (!fichier->seek(0))
            return nullptr;
    }
    return fichier;
}
