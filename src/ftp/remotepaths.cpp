#include "remotepaths.h"

#include <QDir>

QString nomFichier(const QString &chemin)
{
    return chemin.mid(chemin.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {

// The local folder as it begins `chemin`. The listing spells the files of the
// local folder itself with QDir's form of it, which drops one final "/" and
// no more: typed as "site//", they read "site/index.htm".
QString racineDe(const QString &chemin, const QString &dossierLocal)
{
    const QString racine = QDir::fromNativeSeparators(dossierLocal);
    if (racine.isEmpty() || chemin.startsWith(racine, Qt::CaseSensitive))
        return racine;
    const QString listee = QDir(racine).path();
    return chemin.startsWith(listee, Qt::CaseSensitive) ? listee : racine;
}

} // namespace

QString dossierRelatif(const QString &chemin, const QString &dossierLocal)
{
    const QString racine = racineDe(chemin, dossierLocal);
    QString relatif = chemin;
    if (!racine.isEmpty() && relatif.startsWith(racine, Qt::CaseSensitive))
        relatif.remove(0, racine.size());
    relatif.chop(nomFichier(chemin).size());
    return relatif;
}

QString cheminAffiche(const QString &chemin, const QString &dossierLocal)
{
    QString affiche = chemin;
    const QString racine = racineDe(chemin, dossierLocal);
    if (!racine.isEmpty())
        affiche.remove(racine, Qt::CaseSensitive);
    return affiche;
}

QString dossierDistantInconnu()
{
    return QStringLiteral("\n");
}

QString normaliserDossier(const QString &dossier)
{
    QString n = dossier;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (n.isEmpty())
        n = QStringLiteral(".");
    if (n.size() > 1 && n.endsWith(QLatin1Char('/')))
        n.chop(1);
    return n;
}

QString cheminBaseServeur(const QString &dossierServeur)
{
    QString base = QLatin1Char('/') + normaliserDossier(dossierServeur);
    if (base == QLatin1String("/."))
        return QStringLiteral("/");
    // "/" typed before the folder name would otherwise give "//www".
    while (base.startsWith(QLatin1String("//")))
        base.remove(0, 1);
    return base;
}

QStringList niveauxDossier(const QString &dossierRelatif)
{
    return normaliserDossier(dossierRelatif).split(QLatin1Char('/'), Qt::KeepEmptyParts);
}

QStringList niveauxAParcourir(const QString &dossierRelatif)
{
    QStringList niveaux = niveauxDossier(dossierRelatif);
    niveaux.removeIf([](const QString &n) { return n.isEmpty() || n == QLatin1String("."); });
    return niveaux;
}

QStringList cheminsDistants(const QString &base, const QStringList &niveaux)
{
    QStringList chemins;
    chemins.reserve(niveaux.size());
    QString chemin = base;
    for (const QString &niveau : niveaux) {
        if (!chemin.endsWith(QLatin1Char('/')))
            chemin += QLatin1Char('/');
        chemin += niveau;
        chemins.append(chemin);
    }
    return chemins;
}

bool changerDeDossierApresConnexion(const QString &dossierServeur)
{
    return !dossierServeur.isEmpty() && dossierServeur != QLatin1String("/") &&
           dossierServeur != QLatin1String("\\");
}

QString dossierApresConnexion(const QString &dossierServeur)
{
    return QString(dossierServeur).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

bool nomTransmissible(const QString &nom)
{
    return !nom.contains(QLatin1Char('\r')) && !nom.contains(QLatin1Char('\n')) &&
           !nom.contains(QChar(0));
}

QString cheminSurUneLigne(const QString &chemin)
{
    QString ligne = chemin;
    ligne.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    ligne.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return ligne;
}
