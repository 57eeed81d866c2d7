#pragma once

#include <QString>
#include <memory>

class QIODevice;

// The device an upload reads from. A file the station may rewrite while it is
// being sent is first copied, when small enough, to a unique temporary file of
// the system's temporary folder, which disappears with the device; a larger
// file, or one that cannot be copied, is read in place. Null when the file
// cannot be opened at all.
std::unique_ptr<QIODevice> ouvrirSourceEnvoi(const QString &chemin);

// Files below this size are sent from a copy.
constexpr qint64 tailleMaxCopie = 20000000;
