#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// The run log that outlives the window: "Nuvola.log" beside the settings file
// receives every text the run writes to the log pane, each run framed by a
// heading and an outcome line. The file stays open from commencer() to
// terminer(), and every text is handed to the system before ecrire() returns,
// so a killed run leaves what it had done. A log that cannot be written is
// simply not written: no call ever fails, throws or reports.
class JournalExecution
{
public:
    enum class Issue { Reussi, RienAEnvoyer, Echec, Annule };

    // Past this size the file becomes "<name>.1" (replacing the older copy).
    static constexpr qint64 tailleMax = 1048576;

    explicit JournalExecution(const QString &chemin);

    QString chemin() const { return m_chemin; }
    QString cheminAncien() const { return m_chemin + QStringLiteral(".1"); }

    // Starts the run's text with "=== dd/MM/yyyy HH:mm:ss — transfert
    // automatique ===" (or "interactif") on a line of its own.
    void commencer(const QDateTime &debutLocal, bool modeAuto);
    // Appended verbatim: the pane's messages carry their own "\n".
    void ecrire(const QString &texte);
    // The outcome on a line of its own, with " (code de sortie N)" when
    // codeSortie >= 0 (automatic mode).
    void terminer(Issue issue, int codeSortie = -1);

    // Every later occurrence of this text, also one split over several calls
    // of ecrire(), is written as "****". Empty: nothing is masked.
    void setSecret(const QString &motDePasse);

    // The current run as written, heading through outcome (for standard
    // error after a failed automatic run).
    QString texteRun() const { return m_texteRun + m_attente; }

    static QString ligneEntete(const QDateTime &debutLocal, bool modeAuto);
    static QString ligneIssue(Issue issue, int codeSortie);

private:
    void ajouter(const QString &texte);
    void libererAttente();
    void ecrireFichier(const QString &texte, bool entete = false);
    bool ouvrirAjout();
    void tourner();
    bool fichierFiniParFinLigne() const;

    QString m_chemin;
    // Open for appending while a run writes (reopening it for every text of
    // a long run cost more than the upload of a small page).
    QFile m_fichier;
    QString m_secret;
    // The end of the last text that could be the start of the password: held
    // back until the next text shows whether it completes it.
    QString m_attente;
    QString m_texteRun;
    QDateTime m_debut;
    bool m_modeAuto = false;
    bool m_enCours = false;
    // The file, as this object left it, ends with "\n".
    bool m_debutLigne = true;
};
