#pragma once

#include <QString>

// The characters after the last "." of the file name; empty without a ".".
QString suffixeFichier(const QString &chemin);

// True (ASCII) unless the suffix occurs anywhere in the binary list, letters
// compared without regard to case. The ";" separators take no part in the
// search, so "pn" is found in "gif;jpg;png;"; an empty suffix is never found.
bool estTransfertAscii(const QString &chemin, const QString &modeBinaire);
