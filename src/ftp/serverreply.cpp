#include "ftp/serverreply.h"

#include <QCoreApplication>

namespace {

// RFC 959 (and 4217 for 522, 534): the refusals whose cause the user can see
// to or tell the host about.
QString sens(int code)
{
    const auto tr = [](const char *texte) {
        return QCoreApplication::translate("FenPrincipale", texte);
    };
    switch (code) {
    case 421:
        return tr("Service indisponible : le serveur ferme la connexion");
    case 425:
        return tr("Connexion de données impossible");
    case 426:
        return tr("Connexion de données interrompue");
    case 450:
        return tr("Fichier indisponible sur le serveur");
    case 451:
        return tr("Erreur du serveur pendant le traitement");
    case 452:
        return tr("Espace disque insuffisant sur le serveur");
    case 522:
    case 534:
        return tr("Le serveur refuse la connexion de données chiffrée");
    case 530:
    case 532:
        return tr("Identification refusée par le serveur");
    case 550:
        return tr("Fichier ou dossier refusé par le serveur (droits ou chemin)");
    case 552:
        return tr("Espace alloué sur le serveur dépassé");
    case 553:
        return tr("Nom de fichier refusé par le serveur");
    default:
        return QString();
    }
}

} // namespace

QString ligneReponseServeur(const QString &reponse)
{
    // A reply: three digits, the first 4 or 5, then a space, a dash or the end.
    if (reponse.size() < 3 ||
        (reponse.at(0) != QLatin1Char('4') && reponse.at(0) != QLatin1Char('5')))
        return QString();
    for (int i = 0; i < 3; ++i) {
        if (reponse.at(i) < QLatin1Char('0') || reponse.at(i) > QLatin1Char('9'))
            return QString();
    }
    if (reponse.size() > 3 && reponse.at(3) != QLatin1Char(' ') &&
        reponse.at(3) != QLatin1Char('-'))
        return QString();
    // One line of the log, whatever the server put in its text.
    QString texte = reponse.section(QLatin1Char('\n'), 0, 0).left(200);
    for (QChar &c : texte) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    texte = texte.trimmed();
    const QString signification = sens(texte.left(3).toInt());
    if (signification.isEmpty())
        return QCoreApplication::translate("FenPrincipale", "Réponse du serveur : %1\n").arg(texte);
    return QCoreApplication::translate("FenPrincipale", "%1 (réponse du serveur : %2)\n")
        .arg(signification, texte);
}
