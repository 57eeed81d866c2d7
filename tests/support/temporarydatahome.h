#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Points the per-user data folder at a fresh temporary folder for the
// lifetime of the object, so a test starts without settings and never touches
// a real user's. Where the platform ignores XDG_DATA_HOME (Windows, macOS) the
// Qt test locations are used instead; those are not fresh.
struct TemporaryDataHome
{
    TemporaryDataHome();
    ~TemporaryDataHome();
    TemporaryDataHome(const TemporaryDataHome &) = delete;
    TemporaryDataHome &operator=(const TemporaryDataHome &) = delete;

    bool isValid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }

    QTemporaryDir dir;
    QByteArray previous;
    bool wasSet = false;
};

// The settings file the program reads: "Nuvola.ini" in the generic data folder.
QString settingsFilePath();
