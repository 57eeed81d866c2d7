#include "app/fenprincipale.h"

#include "config/datecomparaison.h"
#include "config/settingsfile.h"

#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimeEdit>
#include <QVBoxLayout>

void FenPrincipale::modifDate()
{
    QDialog dialogue(this);
    dialogue.setWindowTitle(tr("Date de comparaison"));
    dialogue.setWindowModality(Qt::WindowModal);
    dialogue.setFixedSize(250, 100);

    // One reading of the clock, so that date and time never straddle midnight.
    const QDateTime maintenant = QDateTime::currentDateTime();

    auto *champDate = new QDateEdit(maintenant.date(), &dialogue);
    // Only dates the stored count can express; the time is clamped on storing.
    champDate->setDateRange(datePremiereComparaison(), dateDerniereComparaison());
    auto *champHeure = new QTimeEdit(maintenant.time(), &dialogue);
    champHeure->setDisplayFormat(QStringLiteral("hh:mm"));

    auto *ligneDate = new QHBoxLayout;
    ligneDate->addWidget(new QLabel(tr("Date :"), &dialogue));
    ligneDate->addWidget(champDate);
    ligneDate->addWidget(new QLabel(tr("Heure :"), &dialogue));
    ligneDate->addWidget(champHeure);

    const QVariant dateStockee = QSettings(fichierIni, QSettings::IniFormat)
                                     .value(QStringLiteral("Config/Date"), QStringLiteral("0"));
    auto *information = new QLabel(texteDernierTransfert(compteDateStocke(dateStockee)), &dialogue);

    auto *boutonOk = new QPushButton(tr("OK"), &dialogue);
    auto *boutonAnnuler = new QPushButton(tr("Annuler"), &dialogue);
    connect(boutonOk, &QPushButton::clicked, &dialogue, &QDialog::accept);
    connect(boutonAnnuler, &QPushButton::clicked, &dialogue, &QDialog::close);

    auto *ligneBoutons = new QHBoxLayout;
    ligneBoutons->setAlignment(Qt::AlignCenter);
    ligneBoutons->addStretch(0);
    ligneBoutons->addWidget(boutonOk);
    ligneBoutons->addStretch(0);
    ligneBoutons->addWidget(boutonAnnuler);
    ligneBoutons->addStretch(0);

    auto *disposition = new QVBoxLayout(&dialogue);
    disposition->addWidget(information);
    disposition->addLayout(ligneDate);
    disposition->addLayout(ligneBoutons);

    if (dialogue.exec() != QDialog::Accepted)
        return;

    const quint32 compte = compteDepuisDateLocale(champDate->date(), champHeure->time());
    if (ecrireDateDernierSucces(fichierIni, compte))
        m_dateChoisiePendantRun = m_runEnCours;
    else
        QMessageBox::warning(this, tr("Date de comparaison"),
                             tr("La date n'a pas pu être enregistrée dans %1 (écriture "
                                "impossible).")
                                 .arg(QDir::toNativeSeparators(fichierIni)));
}
