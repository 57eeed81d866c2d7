#pragma once

#include "ftpclient.h"

#include <QObject>

// The end of one queued command, watched by its id. A step is judged by its
// own command: once a lost connection has made the log queue a reconnection,
// error() after the wait only tells how the reconnection went.
class ResultatCommande : public QObject
{
    Q_OBJECT

public:
    ResultatCommande(FtpClient *client, int id);

    bool termine() const { return m_termine; }
    bool reussi() const { return m_termine && !m_echec; }
    FtpClient::Error erreur() const { return m_erreur; }

private:
    void surFin(int id, bool echec);

    FtpClient *m_client;
    int m_id;
    bool m_termine = false;
    bool m_echec = false;
    FtpClient::Error m_erreur = FtpClient::NoError;
};
