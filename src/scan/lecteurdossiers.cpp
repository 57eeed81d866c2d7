#include "lecteurdossiers.h"

#include <QThread>

#include <algorithm>
#include <atomic>

LecteurDossiers::LecteurDossiers(int nbLecteurs)
    : m_nbLecteurs(nbLecteurs >= 1 ? nbLecteurs
                                   : std::clamp(QThread::idealThreadCount(), 1, maxLecteurs))
{
    // The calling thread reads too.
    m_pool.setMaxThreadCount(std::max(1, m_nbLecteurs - 1));
}

LecteurDossiers::~LecteurDossiers()
{
    m_pool.waitForDone();
}

QVector<ContenuDossier> LecteurDossiers::lire(const QStringList &chemins, qint64 apres)
{
    const int n = int(chemins.size());
    QVector<ContenuDossier> contenus(n);
    // Each thread takes the next unread path until none is left: folders of
    // very different sizes still keep every thread busy.
    std::atomic<int> suivant{0};
    auto lecteur = [&] {
        for (int i = suivant++; i < n; i = suivant++)
            contenus[i] = contenuDossier(chemins.at(i), apres);
    };
    const int aides = std::min(m_nbLecteurs, n) - 1;
    for (int k = 0; k < aides; ++k)
        m_pool.start(lecteur);
    lecteur();
    m_pool.waitForDone();
    return contenus;
}
