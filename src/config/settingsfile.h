#pragma once

#include <QString>

// The form as the settings file "Nuvola.ini" stores it, section "Config".
struct ValeursFormulaire
{
    bool minimise = false;
    bool exclureAnnees = false;
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
// Writes the eleven form keys, never "Date".
void ecrireFormulaire(const QString &fichierIni, const ValeursFormulaire &valeurs);

void ecrireDateDernierSucces(const QString &fichierIni, qint64 horodatage);
// "Config/Date" read as an unsigned decimal text; a text that is not such a
// number gives 0, a missing key gives `siAbsente`.
quint32 lireDateComparaison(const QString &fichierIni, quint32 siAbsente);
