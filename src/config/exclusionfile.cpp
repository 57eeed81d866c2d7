#include "config/exclusionfile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

QStringList lireFichierExclu(const QString &chemin)
{
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly))
        return {};
    return entreesFichierExclu(fichier.readAll());
}

QStringList entreesFichierExclu(const QByteArray &octets, QStringConverter::Encoding repli)
{
    // Stateless: a sequence cut at the end of the file is an error, not a wait.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString texte = utf8(octets);
    if (utf8.hasError()) {
        QStringDecoder ancien(repli);
        texte = ancien(octets);
    }
    // Line ends of any platform: a file edited on Windows and read elsewhere
    // must not bring carriage returns into the entries.
    texte.remove(QLatin1Char('\r'));
    QStringList entrees = texte.split(QLatin1Char('\n'));
    // The last line end closes the last entry; it does not begin an empty one.
    if (entrees.constLast().isEmpty())
        entrees.removeLast();
    return entrees;
}

bool ecrireFichierExclu(const QString &chemin, const QStringList &entrees)
{
    QSaveFile fichier(chemin);
    if (!fichier.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream flux(&fichier);
    flux.setEncoding(QStringConverter::Utf8);
    flux.setGenerateByteOrderMark(false);
    for (const QString &entree : entrees)
        flux << entree << '\n';
    flux.flush();
    if (flux.status() != QTextStream::Ok) {
        fichier.cancelWriting();
        return false;
    }
    return fichier.commit();
}
