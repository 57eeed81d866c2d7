#pragma once

#include <QString>

class QWidget;

// Asks whether to trust a server certificate that could not be verified.
// `empreinteConnue`: another certificate was trusted for this account before,
// which the user must hear about, since a changed certificate may mean that
// someone stands between them and their server.
bool demanderConfianceCertificat(QWidget *parent, const QString &hote, const QString &raisons,
                                 const QString &description, bool empreinteConnue);
