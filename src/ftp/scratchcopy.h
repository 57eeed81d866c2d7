#pragma once

#include <QString>
#include <memory>

class QIODevice;

// The device an upload reads from. A file the station may rewrite while it is
// being sent is first copied, when small enough: into memory when it is as
// small as a station's pages and images, otherwise into a unique temporary
// file of the system's temporary folder, which disappears with the device. A
// larger file, or one that cannot be copied, is read in place. Null when the
// file cannot be opened at all.
std::unique_ptr<QIODevice> ouvrirSourceEnvoi(const QString &chemin);

// Files below this size are sent from a copy.
constexpr qint64 tailleMaxCopie = 20000000;
// Files up to this size are copied into memory: no temporary file to create,
// fill, read back and delete for each of them.
constexpr qint64 tailleMaxCopieMemoire = 4 * 1024 * 1024;
