#pragma once

// A test that builds a tree nearly always wants a clean data folder too.
#include "temporarydatahome.h"

#include <QByteArray>
#include <QString>

// Builders of local folder trees for the tests. Times are whole seconds since
// 1970-01-01 00:00 UTC, the unit the scan compares in. Each returns false when
// the disk did not end up as asked.

// Writes `content` to `path` (parent folders created) and sets its
// modification time to exactly `mtimeSecs`.
bool writeFile(const QString &path, const QByteArray &content, qint64 mtimeSecs);
// Sets the modification time of an existing file.
bool setMtime(const QString &path, qint64 mtimeSecs);
// Creates the folder and its missing parents.
bool makeDir(const QString &path);
// Creates a symbolic link `link` to `target`. False where the platform's
// links are not real symbolic links (Windows makes shortcuts), so a test can
// skip.
bool makeSymlink(const QString &target, const QString &link);
// Makes the file or folder hidden as the platform defines it: the attribute on
// Windows; elsewhere only a name starting with "." is hidden, so this just
// reports whether `path` already is.
bool makeHidden(const QString &path);
