#pragma once

#include <QString>
#include <QStringList>

class QProcessEnvironment;

// Exit code of an interactive start that finds no display to open its window
// on. 1 (another instance) and 2 (the automatic run failed) are taken.
constexpr int codeSansAffichage = 3;

enum class DecisionAffichage {
    Continuer, // start as usual
    HorsEcran, // automatic mode without a display: Qt's offscreen platform
    Refuser    // interactive mode without a display: explain and stop
};

// The rule of the Unix window systems (X11, Wayland), where Qt without a
// display aborts: a display exists when a platform plugin was chosen or one of
// the two display variables is set and not empty. Only the variables are
// read; nothing is opened, so the decision cannot hang.
bool affichageDisponible(const QString &qtQpaPlatform, const QString &display,
                         const QString &waylandDisplay);
// The same rule over an environment; Windows and macOS always have a display.
bool affichageDisponible(const QProcessEnvironment &environnement);

// Qt also takes the platform from "-platform name" (or "--platform") on the
// command line; a user who gives it has chosen.
bool plateformeChoisie(const QStringList &arguments);

DecisionAffichage decisionAffichage(bool disponible, bool modeAuto);

// The platforms an automatic run tries in turn when a display variable is set
// but no platform was chosen: the variable may name a display that is gone (a
// cron line with DISPLAY=:0 after the user logged out), where Qt would abort
// and the run never take place; offscreen comes last.
QString plateformesAutomatiques(const QString &display, const QString &waylandDisplay);

// The French line written on standard error before exiting with
// `codeSansAffichage`.
QString messageSansAffichage();

// Called by main before the application object exists: returns -1 to go on,
// or the exit code to end the process with at once.
int preparerAffichage(int argc, char **argv);
