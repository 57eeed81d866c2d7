#pragma once

#include "listedossier.h"

#include <QStringList>
#include <QThreadPool>
#include <QVector>

// Reads many folders at once. A tree of unchanged files is walked on every
// run and each entry costs a system call; on several cores the folders of one
// depth are shared out among threads, and the listings come back in the order
// of the paths, as if they had been read one after the other.
class LecteurDossiers
{
public:
    // nbLecteurs < 1: as many as the machine has cores, at most maxLecteurs.
    explicit LecteurDossiers(int nbLecteurs = 0);
    ~LecteurDossiers();

    LecteurDossiers(const LecteurDossiers &) = delete;
    LecteurDossiers &operator=(const LecteurDossiers &) = delete;

    int nbLecteurs() const { return m_nbLecteurs; }

    // contenuDossier() of each path, in the same order.
    QVector<ContenuDossier> lire(const QStringList &chemins, qint64 apres);

    // More threads than this only queue up on the disk.
    static constexpr int maxLecteurs = 4;

private:
    int m_nbLecteurs;
    QThreadPool m_pool;
};
