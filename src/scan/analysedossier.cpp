#include "app/fenprincipale.h"

#include "scan/localscan.h"

#include <QAction>
#include <QLineEdit>
#include <QTextEdit>

void FenPrincipale::AnalyseDossier()
{
    const ResultatAnalyse resultat =
        analyseDossier(dossierLocal->text(), dossierExclu->text(), actionExclureAnnees->isChecked(),
                       dateComparaison, listeExclus, m_dateAnnees);
    listeEnvoi += resultat.envoi;
    // Inserted at the cursor without moving it: the run's "Analyse des
    // fichiers..." stands just before, on the same line.
    ecrireJournal(tr("Terminée!\n"));
    ecrireJournal(QString::number(resultat.nbFichiers));
    ecrireJournal(tr(" fichiers analysés\n"));
    m_racineIllisible = resultat.racineIllisible;
    m_dossiersIgnores = resultat.dossiersIllisibles;
    for (const QString &dossier : resultat.dossiersIllisibles)
        ecrireJournal(tr("Dossier ignoré : %1 (lecture impossible)\n").arg(cheminJournal(dossier)));
    // Renaming them is the only cure; until then they are passed over, as
    // files that can never be sent are.
    for (const QString &fichier : resultat.fichiersNomIllisible)
        ignorerFichier(fichier, tr("nom illisible, à renommer"));
    m_dossiersIgnores += resultat.dossiersNomIllisible;
    for (const QString &dossier : resultat.dossiersNomIllisible)
        ecrireJournal(
            tr("Dossier ignoré : %1 (nom illisible, à renommer)\n").arg(cheminJournal(dossier)));
}

bool FenPrincipale::EstDossierExclu(const QString &dossier)
{
    return estDossierExclu(dossier, dossierExclu->text(), actionExclureAnnees->isChecked(),
                           m_dateAnnees);
}

void FenPrincipale::SelectionFichiers(const QFileInfoList &fichiers)
{
    ListeEntrees liste;
    liste.reserve(fichiers.size());
    for (const QFileInfo &info : fichiers) {
        EntreeListe entree;
        entree.chemin = info.filePath();
        entree.date = info.lastModified().toSecsSinceEpoch();
        entree.debutNom = int(entree.chemin.size() - info.fileName().size());
        liste.append(std::move(entree));
    }
    selectionFichiers(liste, dateComparaison, listeExclus, listeEnvoi);
}

bool FenPrincipale::dossierLocalExiste() const
{
    return dossierExiste(dossierLocal->text());
}
