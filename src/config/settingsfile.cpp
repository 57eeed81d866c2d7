#include "settingsfile.h"

#include "privatefile.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString groupe = QStringLiteral("Config");

QString cle(const char *nom)
{
    return groupe + QLatin1Char('/') + QLatin1String(nom);
}

// Settings objects live for one call. QSettings reports a failed write only
// through its status after a sync (a read-only file or folder, a full disk):
// the callers must know, the user must be told.
template <typename Remplir> bool ecrire(const QString &fichierIni, Remplir remplir)
{
    preparerFichierPrive(fichierIni);
    QSettings::Status etat = QSettings::NoError;
    {
        QSettings reglages(fichierIni, QSettings::IniFormat);
        reglages.beginGroup(groupe);
        remplir(reglages);
        reglages.endGroup();
        reglages.sync();
        etat = reglages.status();
    }
    // The first error sticks: a malformed file read on opening says
    // FormatError whatever the write did. Rewritten, the file reads cleanly;
    // left as it was, it does not.
    if (etat == QSettings::FormatError)
        etat = QSettings(fichierIni, QSettings::IniFormat).status();
    restreindreAuProprietaire(fichierIni);
    return etat == QSettings::NoError;
}

} // namespace

QString cheminFichierIni()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Nuvola.ini");
}

bool fichierIniLisible(const QString &fichierIni)
{
    QFile fichier(fichierIni);
    return !fichier.exists() || fichier.open(QIODevice::ReadOnly);
}

ValeursFormulaire lireFormulaire(const QString &fichierIni)
{
    QSettings reglages(fichierIni, QSettings::IniFormat);
    ValeursFormulaire v;
    v.minimise = reglages.value(cle("MiniChck"), 0).toInt() != 0;
    v.exclureAnnees = reglages.value(cle("ExcAnPrec"), 0).toInt() != 0;
    v.ftps = reglages.value(cle("FTPS"), 0).toInt() != 0;
    v.serveur = reglages.value(cle("Serveur"), QStringLiteral("ftp.exemple.invalid")).toString();
    v.port = reglages.value(cle("Port"), 21).toInt();
    v.utilisateur = reglages.value(cle("Utilisateur"), QStringLiteral("user")).toString();
    v.motDePasse = reglages.value(cle("Pass"), QStringLiteral("mdps")).toString();
    v.dossierServeur = reglages.value(cle("DosServeur"), QStringLiteral("www")).toString();
    v.dossierLocal =
        reglages.value(cle("DosLocal"), QStringLiteral("C:/Program Files/Pluvio/html")).toString();
    v.ascii = reglages.value(cle("ascii"), QStringLiteral("txt;html;php;htm;")).toString();
    v.binaire = reglages.value(cle("binaire"), QStringLiteral("gif;jpg;png;")).toString();
    v.dossierExclu = reglages.value(cle("DosExclu"), QStringLiteral("xxxx;www;")).toString();
    return v;
}

bool ecrireFormulaire(const QString &fichierIni, const ValeursFormulaire &valeurs)
{
    return ecrire(fichierIni, [&v = valeurs](QSettings &reglages) {
        reglages.setValue(QStringLiteral("MiniChck"), v.minimise ? 1 : 0);
        reglages.setValue(QStringLiteral("ExcAnPrec"), v.exclureAnnees ? 1 : 0);
        reglages.setValue(QStringLiteral("FTPS"), v.ftps ? 1 : 0);
        reglages.setValue(QStringLiteral("Serveur"), v.serveur);
        reglages.setValue(QStringLiteral("Port"), v.portTexte);
        reglages.setValue(QStringLiteral("Utilisateur"), v.utilisateur);
        reglages.setValue(QStringLiteral("Pass"), v.motDePasse);
        reglages.setValue(QStringLiteral("DosServeur"), v.dossierServeur);
        reglages.setValue(QStringLiteral("DosLocal"), v.dossierLocal);
        reglages.setValue(QStringLiteral("ascii"), v.ascii);
        reglages.setValue(QStringLiteral("binaire"), v.binaire);
        reglages.setValue(QStringLiteral("DosExclu"), v.dossierExclu);
    });
}

QString lireEmpreinteFtps(const QString &fichierIni)
{
    QSettings reglages(fichierIni, QSettings::IniFormat);
    return reglages.value(cle("FTPSEmpreinte")).toString();
}

bool ecrireEmpreinteFtps(const QString &fichierIni, const QString &empreinte)
{
    return ecrire(fichierIni, [&empreinte](QSettings &reglages) {
        reglages.setValue(QStringLiteral("FTPSEmpreinte"), empreinte);
    });
}

bool ecrireDateDernierSucces(const QString &fichierIni, qint64 horodatage)
{
    return ecrire(fichierIni, [horodatage](QSettings &reglages) {
        reglages.setValue(QStringLiteral("Date"), horodatage);
    });
}

quint32 lireDateComparaison(const QString &fichierIni, quint32 siAbsente)
{
    QSettings reglages(fichierIni, QSettings::IniFormat);
    bool ok = false;
    const quint32 date =
        reglages.value(cle("Date"), QString::number(siAbsente)).toString().toUInt(&ok, 10);
    return ok ? date : 0;
}
