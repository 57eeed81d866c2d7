#include "config/exclusionfile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

QStringList lireFichierExclu(const QString &chemin)
{
    QStringList entrees;
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly | QIODevice::Text))
        return entrees;
    QTextStream flux(&fichier);
    flux.setEncoding(QStringConverter::Utf8);
    while (!flux.atEnd()) {
        QString ligne = flux.readLine();
        // Text mode only folds CR LF on Windows; a file edited there and read
        // elsewhere must not bring carriage returns into the entries.
        ligne.remove(QLatin1Char('\r'));
        entrees.append(ligne);
    }
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
