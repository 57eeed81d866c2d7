#include "runlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString masque = QStringLiteral("****");

// The log names the server, the user and the paths: like the settings file,
// it is created readable by its owner only where the system has permissions.
constexpr QFileDevice::Permissions proprietaireSeul =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString texteMode(bool modeAuto)
{
    return modeAuto ? QCoreApplication::translate("JournalExecution", "transfert automatique")
                    : QCoreApplication::translate("JournalExecution", "transfert interactif");
}

QString texteDate(const QDateTime &date)
{
    return date.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

} // namespace

JournalExecution::JournalExecution(const QString &chemin) : m_chemin(chemin), m_fichier(chemin) {}

QString JournalExecution::ligneEntete(const QDateTime &debutLocal, bool modeAuto)
{
    return QStringLiteral("=== ") + texteDate(debutLocal) + QStringLiteral(" — ") +
           texteMode(modeAuto) + QStringLiteral(" ===\n");
}

QString JournalExecution::ligneIssue(Issue issue, int codeSortie)
{
    QString ligne;
    switch (issue) {
    case Issue::Reussi:
        ligne = QCoreApplication::translate("JournalExecution", "Résultat : transfert réussi");
        break;
    case Issue::RienAEnvoyer:
        ligne = QCoreApplication::translate("JournalExecution",
                                            "Résultat : aucun fichier à transférer");
        break;
    case Issue::Echec:
        ligne = QCoreApplication::translate("JournalExecution", "Résultat : échec");
        break;
    case Issue::Annule:
        ligne = QCoreApplication::translate("JournalExecution", "Résultat : annulé");
        break;
    }
    if (codeSortie >= 0)
        ligne +=
            QCoreApplication::translate("JournalExecution", " (code de sortie %1)").arg(codeSortie);
    return ligne + QLatin1Char('\n');
}

void JournalExecution::setSecret(const QString &motDePasse)
{
    m_secret = motDePasse;
}

void JournalExecution::commencer(const QDateTime &debutLocal, bool modeAuto)
{
    // What the last run left held back belongs to it, not to this one.
    libererAttente();
    // Opened afresh: the file may have been moved or rotated since.
    m_fichier.close();
    m_texteRun.clear();
    m_debut = debutLocal;
    m_modeAuto = modeAuto;
    m_enCours = false;
    // A killed run may have left the file in the middle of a line.
    m_debutLigne = fichierFiniParFinLigne();

    const QString entete = ligneEntete(debutLocal, modeAuto);
    m_texteRun = entete;
    ecrireFichier(entete, true);
    m_enCours = true;
}

void JournalExecution::ecrire(const QString &texte)
{
    ajouter(texte);
}

void JournalExecution::terminer(Issue issue, int codeSortie)
{
    libererAttente();
    QString ligne = ligneIssue(issue, codeSortie);
    if (!m_texteRun.isEmpty() && !m_texteRun.endsWith(QLatin1Char('\n')))
        ligne.prepend(QLatin1Char('\n'));
    m_texteRun += ligne;
    ecrireFichier(ligne);
    m_enCours = false;
    m_fichier.close();
}

void JournalExecution::ajouter(const QString &texte)
{
    QString t = m_attente + texte;
    m_attente.clear();
    if (!m_secret.isEmpty()) {
        // A password that is also a common word masks that word too: a
        // mangled log line is the lesser harm.
        t.replace(m_secret, masque);
        // The pane receives partial lines; the password could come in two
        // pieces. Hold back the longest end that may still grow into it.
        const QStringView secret(m_secret);
        for (qsizetype n = qMin(t.size(), secret.size() - 1); n > 0; --n) {
            if (QStringView(t).endsWith(secret.left(n))) {
                m_attente = t.right(n);
                t.chop(n);
                break;
            }
        }
    }
    if (t.isEmpty())
        return;
    m_texteRun += t;
    ecrireFichier(t);
}

void JournalExecution::libererAttente()
{
    if (m_attente.isEmpty())
        return;
    // Shorter than the password, so it cannot hold it.
    const QString reste = m_attente;
    m_attente.clear();
    m_texteRun += reste;
    ecrireFichier(reste);
}

bool JournalExecution::ouvrirAjout()
{
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text;
    if (m_fichier.open(mode, proprietaireSeul))
        return true;
    // The data folder does not exist before the settings are first saved.
    QDir().mkpath(QFileInfo(m_chemin).absolutePath());
    return m_fichier.open(mode, proprietaireSeul);
}

bool JournalExecution::fichierFiniParFinLigne() const
{
    QFile fichier(m_chemin);
    if (!fichier.open(QIODevice::ReadOnly) || fichier.size() == 0)
        return true;
    char dernier = '\n';
    if (!fichier.seek(fichier.size() - 1) || !fichier.getChar(&dernier))
        return true;
    return dernier == '\n';
}

void JournalExecution::tourner()
{
    // Renaming an open file fails on Windows.
    m_fichier.close();
    const QString ancien = cheminAncien();
    // Fails on a folder in the way, which then stays untouched.
    QFile::remove(ancien);
    if (QFile::rename(m_chemin, ancien))
        return;
    // No older copy can be kept: start afresh rather than grow without bound.
    QFile::resize(m_chemin, 0);
}

void JournalExecution::ecrireFichier(const QString &texte, bool entete)
{
    if (!m_fichier.isOpen() && !ouvrirAjout())
        return;
    const qint64 taille = m_fichier.size();
    QString aEcrire = texte;
    // Lines stay whole across the two files; only a line that never ends
    // (twice the bound) is cut.
    if (taille > tailleMax && (entete || m_debutLigne || taille > 2 * tailleMax)) {
        tourner();
        if (!ouvrirAjout())
            return;
        if (m_enCours)
            aEcrire.prepend(QStringLiteral("=== ") + texteDate(m_debut) + QStringLiteral(" — ") +
                            texteMode(m_modeAuto) +
                            QCoreApplication::translate("JournalExecution", " (suite)") +
                            QStringLiteral(" ===\n"));
    } else if (entete && !m_debutLigne) {
        aEcrire.prepend(QLatin1Char('\n'));
    }
    // Text mode turns "\n" into the platform's line end; a "\r\n" given
    // would become "\r\r\n" on Windows.
    aEcrire.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_fichier.write(aEcrire.toUtf8());
    // Handed to the system at once: a run killed later keeps this text.
    if (!m_fichier.flush()) {
        // A full disk, a removed drive: try afresh with the next text.
        m_fichier.close();
        return;
    }
    if (!aEcrire.isEmpty())
        m_debutLigne = aEcrire.endsWith(QLatin1Char('\n'));
}
