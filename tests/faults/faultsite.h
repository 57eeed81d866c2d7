#pragma once

#include "../transfer/runfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTest>

// The small station site every fault case sends: 15 files in 4 folders, text
// and binary, and the checks made after each run.
namespace faults {

inline QByteArray octets(int taille, quint32 graine)
{
    QByteArray b;
    b.reserve(taille);
    quint32 x = 2463534242u ^ (graine * 2654435761u);
    for (int i = 0; i < taille; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b.append(static_cast<char>(x & 0xff));
    }
    return b;
}

inline QByteArray texte(int lignes, int graine)
{
    QByteArray t;
    for (int i = 0; i < lignes; ++i)
        t += "Relevé " + QByteArray::number(graine) + " ligne " + QByteArray::number(i) + "\n";
    return t;
}

// Relative path -> content.
using Site = QMap<QString, QByteArray>;

inline Site siteStation()
{
    Site s;
    s.insert(QStringLiteral("index.htm"), texte(40, 1));
    s.insert(QStringLiteral("radar.png"), octets(70000, 2));
    s.insert(QStringLiteral("notes.txt"), texte(3, 3));
    s.insert(QStringLiteral("meteo/jour.htm"), texte(200, 4));
    s.insert(QStringLiteral("meteo/mois.htm"), texte(5, 5));
    s.insert(QStringLiteral("meteo/vent.gif"), octets(3000, 6));
    s.insert(QStringLiteral("meteo/vide.htm"), QByteArray());
    s.insert(QStringLiteral("meteo/2013/janvier.htm"), texte(30, 7));
    s.insert(QStringLiteral("meteo/2013/fevrier.htm"), texte(31, 8));
    s.insert(QStringLiteral("meteo/2013/pluie.jpg"), octets(25000, 9));
    s.insert(QStringLiteral("meteo/2013/README"), texte(1, 10));
    s.insert(QStringLiteral("images/ciel.jpg"), octets(120000, 11));
    s.insert(QStringLiteral("images/nuage.png"), octets(999, 12));
    s.insert(QStringLiteral("images/soleil.gif"), octets(1, 13));
    s.insert(QStringLiteral("images/été.png"), octets(4500, 14));
    return s;
}

inline bool ecrireSite(const RunFixture &f, const Site &site)
{
    int age = 100;
    for (auto it = site.cbegin(); it != site.cend(); ++it) {
        if (!writeFile(f.local(it.key()), it.value(), RunFixture::ilYa(age++)))
            return false;
    }
    return true;
}

// The first difference between the site and the server's "www", or empty.
inline QString ecart(const TestFtpServer &serveur, const Site &site)
{
    for (auto it = site.cbegin(); it != site.cend(); ++it) {
        const QString rel = QStringLiteral("www/") + it.key();
        if (!serveur.serverFileExists(rel))
            return QStringLiteral("missing on the server: ") + it.key();
        const QByteArray recu = serveur.serverFileContent(rel);
        if (recu != it.value())
            return QStringLiteral("%1: %2 bytes received, %3 expected")
                .arg(it.key())
                .arg(recu.size())
                .arg(it.value().size());
    }
    return QString();
}

// Waits of the fault runs: long enough for any loopback reply, short enough
// that a stalled server costs seconds, not minutes.
inline DelaisFtp delaisCourts()
{
    DelaisFtp d;
    d.connexion = 3000;
    d.identification = 2000;
    d.dossier = 1500;
    d.fermeture = 1000;
    d.envoi = 3000;
    d.abandon = 1000;
    return d;
}

// The longest a run may take with these waits: the opening steps, then at
// most five counted failures, each of which may have waited through a walk of
// three levels (a missing level costs two waits) and an upload with its abort,
// plus the closing. Anything longer is a hang.
inline qint64 bornePourRun(const DelaisFtp &d)
{
    const qint64 parEchec = 7LL * d.dossier + d.envoi + d.abandon;
    return d.connexion + d.identification + d.dossier + 5 * parEchec + d.fermeture + 5000;
}

// Added to every random-drop seed: NUVOLA_FAULT_SEED_BASE=1000 runs the same
// cases on other drop patterns, which is how the long soaks are made.
inline int baseGraines()
{
    bool ok = false;
    const int base = qEnvironmentVariableIntValue("NUVOLA_FAULT_SEED_BASE", &ok);
    return ok ? base : 0;
}

// Points the open window at a server started since (a new port).
inline void suivreServeur(RunFixture &f)
{
    f.fenetre->findChild<QSpinBox *>()->setValue(f.serveur.port());
}

} // namespace faults

namespace faults {

enum class Attendu { Echec, Reussite, LUnOuLAutre };

// Figures of one case, for the table of results.
struct Bilan
{
    int runs = 0;
    int echecs = 0;
};

// What both servers of a case share beyond the folder, and the settings it
// adds: FTPS, for instance.
struct Canal
{
    QStringList argsServeur;
    QMap<QString, QVariant> reglages;
};

// One run against a server with the fault switches `fautes`, then, on a new
// server without faults that serves the same folder, the run that must
// complete the tree. After a run that reports success every file is on the
// server byte for byte; after a failed one the comparison time has not moved.
// No run lasts past the bound its waits give.
inline void faultePuisReprise(const QStringList &fautes, Attendu attendu, Bilan *bilan = nullptr,
                              const DelaisFtp &delais = delaisCourts(),
                              const Canal &canal = Canal())
{
    QTemporaryDir racine;
    QVERIFY(racine.isValid());
    const QString www = racine.filePath(QStringLiteral("www"));
    QVERIFY(makeDir(www));
    RunFixture f;
    QVERIFY2(f.serveur.startOnRoot(racine.path(), canal.argsServeur + fautes),
             qPrintable(f.serveur.errorString()));
    const Site site = siteStation();
    QVERIFY(ecrireSite(f, site));
    QMap<QString, QVariant> reglages = canal.reglages;
    reglages.insert(QStringLiteral("Date"), 1000);
    f.ouvrir(reglages);
    f.fenetre->setDelaisFtp(delais);

    QElapsedTimer duree;
    duree.start();
    f.fenetre->transfert();
    const qint64 ms = duree.elapsed();
    QVERIFY2(ms < bornePourRun(delais), qPrintable(QStringLiteral("run took %1 ms").arg(ms)));
    QCOMPARE(f.bouton()->text(), QStringLiteral("Transférer"));
    const bool reussi = f.fenetre->codeSortie() == 0;
    if (bilan) {
        ++bilan->runs;
        bilan->echecs += reussi ? 0 : 1;
    }
    if (attendu == Attendu::Echec)
        QVERIFY2(!reussi, qPrintable(f.journal()));
    if (attendu == Attendu::Reussite)
        QVERIFY2(reussi, qPrintable(f.journal()));
    if (reussi) {
        const QString e = ecart(f.serveur, site);
        QVERIFY2(e.isEmpty(), qPrintable(e + QStringLiteral("\n") + f.journal()));
        QVERIFY(f.dateEnregistree().toLongLong() > 1000);
        QVERIFY2(f.journal().endsWith(QStringLiteral("Connexion fermée.\n")),
                 qPrintable(f.journal()));
    } else {
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
    }

    // The same window goes on, as the next scheduled run would find things.
    QVERIFY2(f.serveur.startOnRoot(racine.path(), canal.argsServeur),
             qPrintable(f.serveur.errorString()));
    suivreServeur(f);
    DelaisFtp normaux;
    normaux.envoi = 20000;
    f.fenetre->setDelaisFtp(normaux);
    f.fenetre->transfert();
    QVERIFY2(f.fenetre->codeSortie() == 0, qPrintable(f.journal()));
    const QString e = ecart(f.serveur, site);
    QVERIFY2(e.isEmpty(), qPrintable(e + QStringLiteral("\n") + f.journal()));
    QVERIFY(f.dateEnregistree().toLongLong() > 1000);
    // After a success nothing is old news: nothing is sent again.
    if (reussi)
        QVERIFY2(f.journal().endsWith(QStringLiteral("Aucun fichier à transférer\n")),
                 qPrintable(f.journal()));
    if (bilan)
        ++bilan->runs;
}

} // namespace faults
