#include "app/fenprincipale.h"

#include "config/exclusionfile.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

QString FenPrincipale::cheminFichierExclu() const
{
    return QFileInfo(fichierIni).absolutePath() + QStringLiteral("/ExcludedFiles.dat");
}

void FenPrincipale::LectureFichierExclu()
{
    listeExclus = lireFichierExclu(cheminFichierExclu());
}

void FenPrincipale::EcritureFichierExclu()
{
    // A failed write keeps the file as it was and the list as edited, which
    // then lasts only as long as the program: the user must know.
    if (!ecrireFichierExclu(cheminFichierExclu(), listeExclus))
        QMessageBox::warning(this, tr("Exclure fichiers"),
                             tr("La liste d'exclusion n'a pas pu être enregistrée dans %1 "
                                "(écriture impossible) : elle ne vaut que jusqu'à la fermeture "
                                "du programme.")
                                 .arg(QDir::toNativeSeparators(cheminFichierExclu())));
}

void FenPrincipale::fenetre_exclure()
{
    // Only the latest dialog is reachable through the members; an earlier one,
    // closed or not, goes away with its view and model.
    if (vueExclus)
        vueExclus->window()->deleteLater();

    auto *dialogue = new QDialog(this);
    dialogue->setWindowTitle(tr("Exclure fichiers"));
    dialogue->setWindowModality(Qt::WindowModal);
    dialogue->setFixedSize(550, 350);

    auto *boutonAjouter = new QPushButton(tr("Ajouter un fichier"), dialogue);
    auto *boutonFiltre = new QPushButton(tr("Ajouter un filtre"), dialogue);
    boutonSupprimer = new QPushButton(tr("Supprimer"), dialogue);
    boutonSupprimer->setEnabled(false);
    auto *boutonAnnuler = new QPushButton(tr("Annuler"), dialogue);
    auto *boutonOk = new QPushButton(tr("OK"), dialogue);

    vueExclus = new QListView(dialogue);
    vueExclus->setSelectionMode(QAbstractItemView::ExtendedSelection);
    vueExclus->setEditTriggers(QAbstractItemView::NoEditTriggers);
    modeleExclus = new QStringListModel(listeExclus, vueExclus);
    vueExclus->setModel(modeleExclus);

    auto *colonne = new QVBoxLayout;
    colonne->addWidget(boutonAjouter);
    colonne->addWidget(boutonFiltre);
    colonne->addWidget(boutonSupprimer);
    colonne->addStretch(0);
    colonne->addWidget(boutonAnnuler);
    colonne->addWidget(boutonOk);

    auto *disposition = new QHBoxLayout(dialogue);
    disposition->addWidget(vueExclus);
    disposition->addLayout(colonne);

    connect(boutonAjouter, &QPushButton::clicked, this, &FenPrincipale::AjouterFichier);
    connect(boutonFiltre, &QPushButton::clicked, this, &FenPrincipale::ajouterGroupeFichier);
    connect(boutonSupprimer, &QPushButton::clicked, this, &FenPrincipale::SupprimerFichier);
    connect(boutonOk, &QPushButton::clicked, dialogue, &QDialog::close);
    connect(boutonOk, &QPushButton::clicked, this, &FenPrincipale::EcritureFichierExclu);
    connect(boutonAnnuler, &QPushButton::clicked, dialogue, &QDialog::close);
    connect(boutonAnnuler, &QPushButton::clicked, this, &FenPrincipale::LectureFichierExclu);
    connect(vueExclus, &QListView::clicked, this, &FenPrincipale::BouttonSuppSetDis2);

    dialogue->show();
}

void FenPrincipale::AjouterFichier()
{
    const QStringList choisis =
        QFileDialog::getOpenFileNames(this, tr("Ajouter des fichiers"), dossierLocal->text());
    for (const QString &choisi : choisis) {
        const QString chemin = QDir::fromNativeSeparators(QFileInfo(choisi).absoluteFilePath());
        if (!listeExclus.contains(chemin, Qt::CaseSensitive))
            listeExclus.append(chemin);
    }
    if (modeleExclus)
        modeleExclus->setStringList(listeExclus);
}

void FenPrincipale::ajouterGroupeFichier()
{
    bool accepte = false;
    const QString filtre = QInputDialog::getText(
        this, tr("Filtre"), tr("Exclure les fichiers dont le chemin complet comporte:\nEx: mmini_"),
        QLineEdit::Normal, QString(), &accepte);
    if (accepte && !filtre.isEmpty())
        listeExclus.append(filtre);
    if (modeleExclus)
        modeleExclus->setStringList(listeExclus);
}

void FenPrincipale::SupprimerFichier()
{
    if (boutonSupprimer)
        boutonSupprimer->setEnabled(false);
    if (!vueExclus || !vueExclus->selectionModel())
        return;
    const QModelIndexList selection = vueExclus->selectionModel()->selectedRows();
    if (selection.isEmpty())
        return;
    QList<int> lignes;
    for (const QModelIndex &index : selection)
        lignes.append(index.row());
    // Highest first, so each row number still names its entry when its turn comes.
    std::sort(lignes.begin(), lignes.end(), std::greater<int>());
    lignes.erase(std::unique(lignes.begin(), lignes.end()), lignes.end());
    for (const int ligne : std::as_const(lignes)) {
        if (ligne >= 0 && ligne < listeExclus.size())
            listeExclus.removeAt(ligne);
    }
    if (modeleExclus)
        modeleExclus->setStringList(listeExclus);
}

void FenPrincipale::BouttonSuppSetDis(QModelIndex, QModelIndex)
{
    BouttonSuppSetDis2(QModelIndex());
}

void FenPrincipale::BouttonSuppSetDis2(QModelIndex)
{
    if (!vueExclus || !boutonSupprimer || !vueExclus->selectionModel())
        return;
    if (vueExclus->selectionModel()->hasSelection())
        boutonSupprimer->setEnabled(true);
}
