#include "modeauto.h"

bool estModeAuto(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("/auto"), Qt::CaseSensitive) ||
           arguments.contains(QStringLiteral("/Auto"), Qt::CaseSensitive);
}
