#include "app/fenprincipale.h"

#include "config/settingsfile.h"

#include <QAction>
#include <QLineEdit>
#include <QSpinBox>

void FenPrincipale::LectureIni()
{
    const ValeursFormulaire v = lireFormulaire(fichierIni);
    actionMinimise->setChecked(v.minimise);
    actionExclureAnnees->setChecked(v.exclureAnnees);
    actionFtps->setChecked(v.ftps);
    serveur->setText(v.serveur);
    port->setValue(v.port); // the box clamps a value outside its range
    utilisateur->setText(v.utilisateur);
    motDePasse->setText(v.motDePasse);
    dossierServeur->setText(v.dossierServeur);
    dossierLocal->setText(v.dossierLocal);
    modeAscii->setText(v.ascii);
    modeBinaire->setText(v.binaire);
    dossierExclu->setText(v.dossierExclu);
    LectureFichierExclu();
}

void FenPrincipale::EcritureIni()
{
    ValeursFormulaire v;
    v.minimise = actionMinimise->isChecked();
    v.exclureAnnees = actionExclureAnnees->isChecked();
    v.ftps = actionFtps->isChecked();
    v.serveur = serveur->text();
    v.portTexte = port->text();
    v.utilisateur = utilisateur->text();
    v.motDePasse = motDePasse->text();
    v.dossierServeur = dossierServeur->text();
    v.dossierLocal = dossierLocal->text();
    v.ascii = modeAscii->text();
    v.binaire = modeBinaire->text();
    v.dossierExclu = dossierExclu->text();
    ecrireFormulaire(fichierIni, v);
}

void FenPrincipale::WriteIniLastSuccessTransfert(qlonglong TimeStamp)
{
    ecrireDateDernierSucces(fichierIni, TimeStamp);
}
