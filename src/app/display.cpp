#include "display.h"

#include "app/modeauto.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <cstdio>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <unistd.h>
#endif

namespace {

// A scheduler (cron) gives no XDG_RUNTIME_DIR, and Qt then warns on standard
// error at every run, which cron mails: a quiet success needs a private
// folder of our own. Qt itself still checks its owner and permissions.
void preparerDossierExecution()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString dossier =
        QDir::tempPath() + QStringLiteral("/nuvola-runtime-") + QString::number(::getuid());
    QDir().mkdir(dossier, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dossier));
#endif
}

} // namespace

bool affichageDisponible(const QString &qtQpaPlatform, const QString &display,
                         const QString &waylandDisplay)
{
    // An empty QT_QPA_PLATFORM makes Qt fall back to its default plugin,
    // which needs a display like no setting at all.
    return !qtQpaPlatform.isEmpty() || !display.isEmpty() || !waylandDisplay.isEmpty();
}

bool affichageDisponible(const QProcessEnvironment &environnement)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return affichageDisponible(environnement.value(QStringLiteral("QT_QPA_PLATFORM")),
                               environnement.value(QStringLiteral("DISPLAY")),
                               environnement.value(QStringLiteral("WAYLAND_DISPLAY")));
#else
    Q_UNUSED(environnement);
    return true;
#endif
}

bool plateformeChoisie(const QStringList &arguments)
{
    // Position 0 is the program path, never an option.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform"))
            return true;
    }
    return false;
}

DecisionAffichage decisionAffichage(bool disponible, bool modeAuto)
{
    if (disponible)
        return DecisionAffichage::Continuer;
    return modeAuto ? DecisionAffichage::HorsEcran : DecisionAffichage::Refuser;
}

QString plateformesAutomatiques(const QString &display, const QString &waylandDisplay)
{
    QStringList plateformes;
    if (!display.isEmpty())
        plateformes << QStringLiteral("xcb");
    if (!waylandDisplay.isEmpty())
        plateformes << QStringLiteral("wayland");
    plateformes << QStringLiteral("offscreen");
    return plateformes.join(QLatin1Char(';'));
}

QString messageSansAffichage()
{
    return QCoreApplication::translate("Affichage",
                                       "Nuvola : aucun écran disponible. Sans fenêtre, lancez « "
                                       "nuvola /auto » pour un transfert automatique.");
}

int preparerAffichage(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (plateformeChoisie(arguments))
        return -1;

    const QProcessEnvironment environnement = QProcessEnvironment::systemEnvironment();
    const bool disponible = affichageDisponible(environnement);
    const bool modeAuto = estModeAuto(arguments);
    switch (decisionAffichage(disponible, modeAuto)) {
    case DecisionAffichage::Continuer:
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
        if (modeAuto && environnement.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
            qputenv("QT_QPA_PLATFORM",
                    plateformesAutomatiques(environnement.value(QStringLiteral("DISPLAY")),
                                            environnement.value(QStringLiteral("WAYLAND_DISPLAY")))
                        .toLatin1());
#endif
        return -1;
    case DecisionAffichage::HorsEcran:
        // The run, its log and its exit code stay the same; only no window
        // system is needed.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        preparerDossierExecution();
        return -1;
    case DecisionAffichage::Refuser:
        break;
    }
    const QByteArray ligne = messageSansAffichage().toLocal8Bit() + '\n';
    std::fputs(ligne.constData(), stderr);
    std::fflush(stderr);
    return codeSansAffichage;
}
