#include "app/fenprincipale.h"

#include "config/settingsfile.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>

void FenPrincipale::LectureIni()
{
    m_reglagesIllisibles = !fichierIniLisible(fichierIni);
    // Said before anything is typed: what the user enters now will not be
    // saved over the file (EcritureIni). An automatic run says it in its log.
    if (m_reglagesIllisibles && !IsModeAuto())
        QMessageBox::warning(this, tr("Réglages illisibles"),
                             tr("Les réglages n'ont pas pu être lus dans %1 (lecture impossible) : "
                                "le formulaire montre les valeurs par défaut, et ne sera pas "
                                "enregistré en quittant.")
                                 .arg(QDir::toNativeSeparators(fichierIni)));
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
    if (m_reglagesIllisibles) {
        QMessageBox::warning(this, tr("Réglages non enregistrés"),
                             tr("Les réglages n'ont pas pu être lus au démarrage dans %1 : ils "
                                "ne sont pas remplacés par ceux du formulaire.")
                                 .arg(QDir::toNativeSeparators(fichierIni)));
        return;
    }
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
    // The window is about to close: a box is the only place left to say it.
    if (!ecrireFormulaire(fichierIni, v))
        QMessageBox::warning(this, tr("Réglages non enregistrés"),
                             tr("Les réglages n'ont pas pu être enregistrés dans %1 (écriture "
                                "impossible) : les modifications du formulaire sont perdues.")
                                 .arg(QDir::toNativeSeparators(fichierIni)));
}

bool FenPrincipale::WriteIniLastSuccessTransfert(qlonglong TimeStamp)
{
    // Written over, the date the user chose would be lost without a word.
    if (m_dateChoisiePendantRun) {
        ecrireJournal(tr("Date de comparaison choisie pendant le transfert : gardée\n"));
        return true;
    }
    if (ecrireDateDernierSucces(fichierIni, TimeStamp))
        return true;
    // Nothing is lost, a later run compares with the last date recorded; but
    // left unsaid, every run would resend more and more without a reason.
    ecrireJournal(tr("Date du transfert non enregistrée (écriture impossible dans %1) : les "
                     "prochains transferts pourront renvoyer des fichiers déjà envoyés\n")
                      .arg(QDir::toNativeSeparators(fichierIni)));
    return false;
}
