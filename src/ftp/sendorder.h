#pragma once

#include <QString>
#include <QStringList>

// The upload list with the files of each folder grouped by transfer type, the
// type the folder before ended on going first. The client sends TYPE only
// when the type changes, and each one costs a round trip: on a distant server
// that is as much as a small file. Files keep their order within a group, and
// folders keep theirs.
QStringList grouperParType(const QStringList &fichiers, const QString &modeBinaire);
