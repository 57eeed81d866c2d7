#pragma once

#include <QString>

// The log line that says why the server refused a login, an upload or a folder, from
// the reply the client failed on: what the code means in French when it is
// one a user can act on (a full disk, a name or a right refused), then the
// reply as it came. Empty when the text is no refusal from the server (a lost
// connection, a failure on this side), which the log reports otherwise.
QString ligneReponseServeur(const QString &reponse);
