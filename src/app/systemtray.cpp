#include "app/systemtray.h"

#include <QSystemTrayIcon>

namespace {

enum class Forcage { Aucun, Oui, Non };
Forcage forcage = Forcage::Aucun;

} // namespace

bool trayDisponible()
{
    switch (forcage) {
    case Forcage::Oui:
        return true;
    case Forcage::Non:
        return false;
    case Forcage::Aucun:
        break;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void forcerTrayDisponible(bool disponible)
{
    forcage = disponible ? Forcage::Oui : Forcage::Non;
}

void retablirTrayDisponible()
{
    forcage = Forcage::Aucun;
}
