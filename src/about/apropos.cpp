#include "app/fenprincipale.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

void FenPrincipale::fenetre_apropos()
{
    const QString version = QStringLiteral("1.8");

    auto *dialogue = new QDialog(this);
    dialogue->setAttribute(Qt::WA_DeleteOnClose);
    dialogue->setWindowTitle(tr("A propos..."));
    dialogue->setWindowModality(Qt::WindowModal);
    dialogue->setMaximumSize(350, 150);

    auto *texte = new QLabel(dialogue);
    texte->setTextFormat(Qt::RichText);
    texte->setOpenExternalLinks(true);
    texte->setText(
        QStringLiteral("<p align='center'> <b>Nuvola ") + version +
        QStringLiteral("</b></p><p align='center'><br/>") + tr("Logiciel réalisé par: ") +
        QStringLiteral("<a href='mailto:contact@nuvola.invalid'>") +
        tr("L'équipe Nuvola").toHtmlEscaped() + QStringLiteral("</a><br/><br/>") +
        tr("Site web: ") + QStringLiteral("<a href='https://nuvola.invalid/'>Nuvola</a></p>"));

    auto *boutonOk = new QPushButton(tr("OK"), dialogue);
    boutonOk->setMaximumWidth(70);
    connect(boutonOk, &QPushButton::clicked, dialogue, &QDialog::close);

    auto *ligneBouton = new QVBoxLayout;
    ligneBouton->setAlignment(Qt::AlignCenter);
    ligneBouton->addWidget(boutonOk);

    auto *disposition = new QVBoxLayout(dialogue);
    // Left to itself the layout raises the dialog's minimum, and with it the
    // maximum, to fit large fonts; the bound of 350 x 150 must hold regardless.
    disposition->setSizeConstraint(QLayout::SetNoConstraint);
    disposition->addWidget(texte);
    disposition->addSpacing(20);
    disposition->addLayout(ligneBouton);

    dialogue->show();
}
