#include "scratchcopy.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace {

// Reads to the end, not just the size seen on opening: a file that grew in
// between is sent whole. Null when it grew past what memory should hold, or
// on a read error.
std::unique_ptr<QIODevice> copieMemoire(QFile &source)
{
    // One byte more than the size seen: the read that finds the end needs room.
    QByteArray contenu(static_cast<qsizetype>(qMin(source.size(), tailleMaxCopieMemoire) + 1),
                       Qt::Uninitialized);
    qint64 lus = 0;
    for (;;) {
        if (lus == contenu.size()) {
            if (lus > tailleMaxCopieMemoire)
                return nullptr;
            contenu.resize(static_cast<qsizetype>(qMin(2 * lus, tailleMaxCopieMemoire + 1)));
        }
        const qint64 n = source.read(contenu.data() + lus, contenu.size() - lus);
        if (n < 0)
            return nullptr;
        if (n == 0)
            break;
        lus += n;
    }
    contenu.truncate(lus);
    auto copie = std::make_unique<QBuffer>();
    copie->setData(contenu);
    if (!copie->open(QIODevice::ReadOnly))
        return nullptr;
    return copie;
}

std::unique_ptr<QIODevice> copieTemporaire(QFile &source)
{
    auto copie =
        std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/nuvola-XXXXXX"));
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
    const qint64 taille = fichier->size();
    if (taille <= tailleMaxCopieMemoire) {
        if (auto copie = copieMemoire(*fichier))
            return copie;
        if (!fichier->seek(0))
            return nullptr;
    }
    if (taille < tailleMaxCopie) {
        if (auto copie = copieTemporaire(*fichier))
            return copie;
        if (!fichier->seek(0))
            return nullptr;
    }
    return fichier;
}
