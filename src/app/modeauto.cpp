#include "modeauto.h"

#include <QCoreApplication>

bool estModeAuto(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("/auto"), Qt::CaseSensitive) ||
           arguments.contains(QStringLiteral("/Auto"), Qt::CaseSensitive);
}

QString texteDejaLance(qint64 holder)
{
    const QString qui = holder > 0 ? QStringLiteral(" (processus %1)").arg(holder) : QString();
    return QCoreApplication::translate("main", "Nuvola est déjà lancé%1 : transfert automatique "
                                               "non fait\n")
        .arg(qui);
}
