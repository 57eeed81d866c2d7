#pragma once

#include <QString>

// The settings file holds the password in clear: where the system has
// permissions, it is created and kept readable and writable by its owner only.
// Creates the folder and an empty private file when they are missing.
void preparerFichierPrive(const QString &chemin);
void restreindreAuProprietaire(const QString &chemin);
