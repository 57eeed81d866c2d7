#include "app/fenprincipale.h"

#include "app/horloge.h"
#include "app/systemtray.h"

#include <QAction>
#include <QLabel>

void FenPrincipale::Agrandir()
{
    showNormal();
    actionAgrandir->setEnabled(false);
    actionReduire->setEnabled(true);
}

void FenPrincipale::Reduir()
{
    if (trayDisponible()) {
        // Minimised first, so that the window keeps that state while hidden
        // and main() leaves a minimised start hidden.
        setWindowState((windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
        hide();
    } else {
        // Hidden without a tray, the window could never be brought back.
        showMinimized();
    }
    actionAgrandir->setEnabled(true);
    actionReduire->setEnabled(false);
}

void FenPrincipale::EtatDemarrage()
{
    if (actionMinimise->isChecked())
        Reduir();
    else
        Agrandir();
}

void FenPrincipale::UpdateHorloge()
{
    horloge->setText(texteHorloge(chrono.isValid() ? chrono.elapsed() : 0));
}
