#include "transfertype.h"

#include "remotepaths.h"

QString suffixeFichier(const QString &chemin)
{
    const QString nom = nomFichier(chemin);
    const int point = nom.lastIndexOf(QLatin1Char('.'));
    return point < 0 ? QString() : nom.mid(point + 1);
}

bool estTransfertAscii(const QString &chemin, const QString &modeBinaire)
{
    const QString suffixe = suffixeFichier(chemin);
    if (suffixe.isEmpty())
        return true;
    return !modeBinaire.contains(suffixe, Qt::CaseInsensitive);
}
