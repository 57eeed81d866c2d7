#include "sendorder.h"

#include "transfertype.h"

namespace {

QStringView dossierDe(const QString &chemin)
{
    return QStringView(chemin).left(chemin.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

QStringList grouperParType(const QStringList &fichiers, const QString &modeBinaire)
{
    QStringList ordre;
    ordre.reserve(fichiers.size());
    QStringList autres;
    bool asciiCourant = !fichiers.isEmpty() && estTransfertAscii(fichiers.first(), modeBinaire);
    qsizetype debut = 0;
    while (debut < fichiers.size()) {
        const QStringView dossier = dossierDe(fichiers.at(debut));
        qsizetype fin = debut;
        autres.clear();
        for (; fin < fichiers.size() && dossierDe(fichiers.at(fin)) == dossier; ++fin) {
            if (estTransfertAscii(fichiers.at(fin), modeBinaire) == asciiCourant) {
                ordre.append(fichiers.at(fin));
            } else {
                autres.append(fichiers.at(fin));
            }
        }
        ordre += autres;
        if (!autres.isEmpty())
            asciiCourant = !asciiCourant;
        debut = fin;
    }
    return ordre;
}
