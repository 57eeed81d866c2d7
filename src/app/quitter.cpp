#include "app/fenprincipale.h"
#include "app/modeauto.h"

#include <QCloseEvent>
#include <QCoreApplication>

bool FenPrincipale::IsModeAuto()
{
    return estModeAuto(QCoreApplication::arguments());
}

void FenPrincipale::Quitter()
{
    // Quitting from the menu closes the window, and its close comes back here.
    if (m_quitte)
        return;
    if (!IsModeAuto())
        EcritureIni();
    m_quitte = true;
    QCoreApplication::quit();
}

void FenPrincipale::closeEvent(QCloseEvent *event)
{
    Q_UNUSED(event);
    Quitter();
}
