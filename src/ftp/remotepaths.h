#pragma once

#include <QString>
#include <QStringList>

// Path computations of one upload, free of any window so tests can call them.

// The last component of a local path with "/" separators.
QString nomFichier(const QString &chemin);

// The folder of `chemin` below the local folder, as "/images/2013/" ("/" for a
// file directly in the local folder, "" when the local folder was typed with a
// final "/"). The typed local folder is compared in the form the listing gives
// paths, so "C:\\Pluvio\\html" matches "C:/Pluvio/html/...".
QString dossierRelatif(const QString &chemin, const QString &dossierLocal);

// The path shown in the log: every occurrence of the local folder removed.
QString cheminAffiche(const QString &chemin, const QString &dossierLocal);

// A current folder no upload's relative folder can equal: a name holding a
// line feed is passed over before any comparison. Forces the next walk.
QString dossierDistantInconnu();

// Backslashes become "/", an empty text ".", and one final "/" is dropped from
// a text longer than one character.
QString normaliserDossier(const QString &dossier);

// The absolute remote folder every walk starts from: "/" followed by the
// normalised server folder; "", "/" and "\\" all give "/".
QString cheminBaseServeur(const QString &dossierServeur);

// The levels a walk enters, in order; empty pieces are kept (the walk skips them).
QStringList niveauxDossier(const QString &dossierRelatif);

// The levels a walk really goes down: those of niveauxDossier() without the
// empty pieces and ".", which stand for the folder they are in.
QStringList niveauxAParcourir(const QString &dossierRelatif);

// The absolute folder reached after each level when going down `niveaux` from
// the absolute folder `base`: "/www" and {"d", "e"} give {"/www/d", "/www/d/e"}.
QStringList cheminsDistants(const QString &base, const QStringList &niveaux);

// Whether the login is followed by a change into the server folder.
bool changerDeDossierApresConnexion(const QString &dossierServeur);

// The folder the login is followed by a change into: as typed, but with the
// backslashes the walk also reads as separators turned into "/", which every
// server takes (a Unix server would look for a name holding a "\\").
QString dossierApresConnexion(const QString &dossierServeur);

// False when the text holds a character an FTP command line cannot carry
// (CR, LF, NUL): the line would end there and the rest reach the server as a
// command of its own.
bool nomTransmissible(const QString &nom);

// The path as the log shows it on one line: line breaks written as \r and \n.
QString cheminSurUneLigne(const QString &chemin);
