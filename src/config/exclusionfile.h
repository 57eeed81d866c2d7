#pragma once

#include <QString>
#include <QStringList>

// The exclusion list file: UTF-8 without byte-order mark, one entry per line,
// the platform's line ends. An entry may be empty or hold any text but a line end.

// Entries of the file in order; a missing or unreadable file gives an empty list.
QStringList lireFichierExclu(const QString &chemin);

// Replaces the file with the entries. The new content is written beside the
// old file and swapped in only once complete, so a failed write (full disk,
// crash, target that cannot be replaced) leaves the previous list intact.
// Returns false when the file was left as it was.
bool ecrireFichierExclu(const QString &chemin, const QStringList &entrees);
