#include "commandresult.h"

ResultatCommande::ResultatCommande(FtpClient *client, int id) : m_client(client), m_id(id)
{
    connect(client, &FtpClient::commandFinished, this, &ResultatCommande::surFin);
}

void ResultatCommande::surFin(int id, bool echec)
{
    if (id != m_id)
        return;
    m_termine = true;
    m_echec = echec;
    m_erreur = m_client->error();
}
