#pragma once

#include <QString>

// The form as the settings file "Nuvola.ini" stores it, section "Config".
struct ValeursFormulaire
{
    bool minimise = false;
    bool exclureAnnees = false;
    // Explicit TLS; off when the key is missing, as in every older file.
    bool ftps = false;
    QString serveur;
    int port = 21;
    QString portTexte; // as the spin box displays it; only used when writing
    QString utilisateur;
    QString motDePasse;
    QString dossierServeur;
    QString dossierLocal;
    QString ascii;
    QString binaire;
    QString dossierExclu;
};

// Per-user data location (no organisation or application sub-folder, as
// existing installs expect) followed by "/Nuvola.ini".
QString cheminFichierIni();

ValeursFormulaire lireFormulaire(const QString &fichierIni);
// False when the file exists but cannot be read (its rights, a lock held by
// another program): QSettings then reads it as missing, every key a default,
// and "Date" as never set.
bool fichierIniLisible(const QString &fichierIni);

// The writers below return false when the file could not be written
// (read-only file or folder, full disk): nothing of that call reached it.

// Writes the form keys, never "Date" nor the trusted fingerprint.
bool ecrireFormulaire(const QString &fichierIni, const ValeursFormulaire &valeurs);

// "Config/FTPSEmpreinte": the fingerprint of the server certificate the user
// chose to trust, empty when none.
QString lireEmpreinteFtps(const QString &fichierIni);
bool ecrireEmpreinteFtps(const QString &fichierIni, const QString &empreinte);

bool ecrireDateDernierSucces(const QString &fichierIni, qint64 horodatage);
// "Config/Date" read as an unsigned decimal text; a text that is not such a
// number gives 0, a missing key gives `siAbsente`.
quint32 lireDateComparaison(const QString &fichierIni, quint32 siAbsente);
