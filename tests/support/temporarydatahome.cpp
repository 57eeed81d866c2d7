#include "temporarydatahome.h"

#include <QStandardPaths>

namespace {

constexpr const char *dataHomeVariable = "XDG_DATA_HOME";
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
// Nested homes share the one process-wide test mode.
int testModeUsers = 0;
#endif

} // namespace

TemporaryDataHome::TemporaryDataHome()
    : previous(qgetenv(dataHomeVariable)), wasSet(qEnvironmentVariableIsSet(dataHomeVariable))
{
    qputenv(dataHomeVariable, dir.path().toLocal8Bit());
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
    if (testModeUsers++ == 0)
        QStandardPaths::setTestModeEnabled(true);
#endif
}

TemporaryDataHome::~TemporaryDataHome()
{
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
    if (--testModeUsers == 0)
        QStandardPaths::setTestModeEnabled(false);
#endif
    if (wasSet)
        qputenv(dataHomeVariable, previous);
    else
        qunsetenv(dataHomeVariable);
}

QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Nuvola.ini");
}
