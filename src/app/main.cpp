#include "app/allocateur.h"
#include "app/display.h"
#include "app/fenprincipale.h"
#include "app/modeauto.h"
#include "app/singleinstance.h"
#include "app/systemtray.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    reglerAllocateur();

    // Without a display Qt aborts while building the application object, so
    // this is decided first: automatic mode goes offscreen, interactive stops.
    const int arret = preparerAffichage(argc, argv);
    if (arret >= 0)
        return arret;

    QApplication application(argc, argv);
    // The images live in a static library: register them before any widget.
    Q_INIT_RESOURCE(nuvola);

    SingleInstance marqueur;
    if (!marqueur.acquire()) {
        if (estModeAuto(QCoreApplication::arguments())) {
            std::fputs(texteDejaLance(SingleInstance::holder()).toUtf8().constData(), stderr);
            std::fflush(stderr);
        }
        return 1;
    }

    FenPrincipale fenetre;
    fenetre.show();
    // Without a tray the minimised window stays on the task bar, its only way back.
    if (fenetre.isMinimized() && trayDisponible())
        fenetre.hide();

    const int resultat = application.exec();
    // A scheduler reads the outcome of the automatic run from the exit code.
    if (estModeAuto(QCoreApplication::arguments()))
        return fenetre.codeSortie();
    return resultat;
}
