#include "app/fenprincipale.h"
#include "app/modeauto.h"
#include "app/singleinstance.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The images live in a static library: register them before any widget.
    Q_INIT_RESOURCE(nuvola);

    SingleInstance marqueur;
    if (!marqueur.acquire())
        return 1;

    FenPrincipale fenetre;
    fenetre.show();
    if (fenetre.isMinimized())
        fenetre.hide();

    const int resultat = application.exec();
    // A scheduler reads the outcome of the automatic run from the exit code.
    if (estModeAuto(QCoreApplication::arguments()))
        return fenetre.codeSortie();
    return resultat;
}
