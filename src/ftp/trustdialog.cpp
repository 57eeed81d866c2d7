#include "ftp/trustdialog.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

bool demanderConfianceCertificat(QWidget *parent, const QString &hote, const QString &raisons,
                                 const QString &description, bool empreinteConnue)
{
    const auto tr = [](const char *texte) {
        return QCoreApplication::translate("trustdialog", texte);
    };
    QMessageBox boite(
        QMessageBox::Warning, tr("Certificat du serveur"),
        tr("Le certificat du serveur « %1 » ne peut pas être vérifié :\n%2").arg(hote, raisons),
        QMessageBox::NoButton, parent);
    boite.setObjectName(QStringLiteral("dialogueCertificat"));
    QString question = description;
    if (empreinteConnue)
        question += tr("\n\nAttention : ce n'est pas le certificat que vous aviez accepté "
                       "pour ce serveur.");
    question += tr("\n\nFaire confiance à ce certificat ? Il sera accepté désormais, "
                   "y compris en mode automatique.");
    boite.setInformativeText(question);
    QPushButton *confiance = boite.addButton(tr("Faire confiance"), QMessageBox::AcceptRole);
    QPushButton *refus = boite.addButton(tr("Annuler"), QMessageBox::RejectRole);
    confiance->setObjectName(QStringLiteral("boutonConfiance"));
    refus->setObjectName(QStringLiteral("boutonRefus"));
    // Refusing is what a stray Enter must do.
    boite.setDefaultButton(refus);
    boite.setEscapeButton(refus);
    boite.exec();
    return boite.clickedButton() == confiance;
}
