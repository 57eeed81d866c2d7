#pragma once

#include <QString>
#include <QStringConverter>
#include <QStringList>

// The exclusion list file: UTF-8 without byte-order mark, one entry per line,
// the platform's line ends. An entry may be empty or hold any text but a line end.

// Entries of the file in order; a missing or unreadable file gives an empty list.
QStringList lireFichierExclu(const QString &chemin);

// The entries held by the file's bytes. Lists written by earlier versions
// are in the system's 8-bit code page (cp1252 on a French Windows): bytes
// that are not UTF-8 are read in `repli` instead, so their accented names
// still match and are saved back in UTF-8 rather than as replacement signs.
QStringList entreesFichierExclu(const QByteArray &octets,
                                QStringConverter::Encoding repli = QStringConverter::System);

// Replaces the file with the entries. The new content is written beside the
// old file and swapped in only once complete, so a failed write (full disk,
// crash, target that cannot be replaced) leaves the previous list intact.
// Returns false when the file was left as it was.
bool ecrireFichierExclu(const QString &chemin, const QStringList &entrees);
