#pragma once

#include "ftpclient.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMainWindow>
#include <QModelIndex>
#include <QStringList>
#include <QTimer>
#include <memory>

class JournalExecution;
class QAction;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QStringListModel;
class QSystemTrayIcon;
class QTextEdit;

// Bounds of the waits on the FTP client, in milliseconds. Tests shorten them;
// the program always runs with these defaults.
struct DelaisFtp
{
    int connexion = 7000;
    int identification = 5000;
    int dossier = 5000;
    int fermeture = 1500;
    // An upload is given up after this long without progress.
    int envoi = 90000;
    int abandon = 5000;
};

// The program's only window and the owner of all its state. Every user command
// is one of its slots; the definitions are spread over the folders of src/ by
// subsystem (app, config, scan, ftp, about).
class FenPrincipale : public QMainWindow
{
    Q_OBJECT

public:
    FenPrincipale();
    ~FenPrincipale() override;

    // Exit code of the process in automatic mode: 0 when the run succeeded
    // (nothing to send included), 2 when it failed or was stopped.
    int codeSortie() const { return m_codeSortie; }

    // For tests only: shorter waits on the FTP client.
    void setDelaisFtp(const DelaisFtp &delais) { m_delais = delais; }

public slots:
    void closeEvent(QCloseEvent *event) override;
    void selectionner_dossier();
    void transfert();
    // False, and said in the log, when the settings file could not be written.
    bool WriteIniLastSuccessTransfert(qlonglong TimeStamp);
    void changementEtat(int state);
    void debutCommande(int id);
    void finCommande(int id, bool error);
    void Done(bool error);
    void Quitter();
    void fenetre_apropos();
    void modifDate();
    void ListeInfo(const FtpUrlInfo &i);
    void Agrandir();
    void Reduir();
    bool IsModeAuto();
    void FinFtp();
    void AnnulerTransfert();
    void UpdateHorloge();
    void fenetre_exclure();
    void AjouterFichier();
    void SupprimerFichier();
    void BouttonSuppSetDis(QModelIndex, QModelIndex);
    void BouttonSuppSetDis2(QModelIndex);
    void EcritureFichierExclu();
    void LectureFichierExclu();
    void ajouterGroupeFichier();

private:
    // --- app: construction and window state ---
    void construireMenus();
    void construireFormulaire(QWidget *central);
    void construireBarreEtat();
    void construireTray();
    void EtatDemarrage();
    void executerModeAuto();

    // --- config: settings file ---
    void LectureIni();
    void EcritureIni();
    QString cheminFichierExclu() const;

    // --- scan ---
    void AnalyseDossier();
    bool EstDossierExclu(const QString &dossier);
    void SelectionFichiers(const QFileInfoList &fichiers);
    bool dossierLocalExiste() const;

    // --- ftp: transfer run, waits, folders, upload ---
    enum class IssueTransfert { Reussi, RienAEnvoyer, Echoue, Annule };
    void commencerJournalRun();
    void terminerJournalRun(IssueTransfert issue);
    IssueTransfert executerTransfert();
    bool ouvrirSession();
    // Connection, with TLS when the option is on (src/ftp/tlssession.cpp).
    bool connecterServeur();
    void journaliserEchecTls();
    bool confianceCertificat();
    void envoyerListe();
    void afficherAvancement(int envoyes, int total);
    IssueTransfert terminerEnvois();
    qint64 dateDernierSucces() const;
    void creerClientFtp();
    bool attendreFinFtp(int delaiMs);
    bool attendreFinEnvoi(int delaiSansAvanceeMs);
    bool entrerDossier(const QString &dossier, bool *perdu = nullptr);
    void journaliserErreur(int commande);
    bool AttenteFtp(QObject *emetteur, const char *signal, int delaiMs);
    void ConnexionServeur();
    bool CreerDossiersServeur(const QString &dossierRelatif);
    bool EnvoiFichier(const QString &chemin);
    void ignorerFichier(const QString &chemin, const QString &raison);
    void avertirIgnores();
    bool TypeTransfert();
    void ecrireJournal(const QString &texte);
    QString cheminJournal(const QString &chemin) const;
    void curseurJournalFin();

    // Members, in the order the rest of the program knows them.
    QLineEdit *serveur = nullptr;
    QSpinBox *port = nullptr;
    QLineEdit *utilisateur = nullptr;
    QLineEdit *motDePasse = nullptr;
    QLineEdit *dossierServeur = nullptr;
    QLineEdit *dossierLocal = nullptr;
    QLineEdit *modeAscii = nullptr;
    QLineEdit *modeBinaire = nullptr;
    QLineEdit *dossierExclu = nullptr;
    QTextEdit *journal = nullptr;
    QProgressBar *progression = nullptr;
    QPushButton *boutonTransfert = nullptr;
    QStatusBar *barreEtat = nullptr;
    FtpClient *ftp = nullptr;
    QAction *actionMinimise = nullptr;
    QAction *actionExclureAnnees = nullptr;
    QAction *actionFtps = nullptr;
    QStringList listeEnvoi;
    int indexCourant = 0;
    int nbEchecs = 0;
    QString dossierCourant;
    quint32 dateComparaison = 0;
    qint64 debutTransfert = 0;
    QAction *actionAgrandir = nullptr;
    QAction *actionReduire = nullptr;
    bool arretTransfert = false;
    QSystemTrayIcon *iconeTray = nullptr;
    QString fichierIni;
    // Qt 6 has no QTime::start()/elapsed(); this holds the run's start instead.
    QElapsedTimer chrono;
    QTimer timerHorloge;
    QLabel *horloge = nullptr;
    QPushButton *boutonSupprimer = nullptr;
    QListView *vueExclus = nullptr;
    QStringListModel *modeleExclus = nullptr;
    QStringList listeExclus;

    // State the program adds to the above.
    DelaisFtp m_delais;
    int m_codeSortie = 0;
    // A run is under way (also while a cancelled run is still closing): a new
    // run may not start inside the old one's wait.
    bool m_runEnCours = false;
    // The application is quitting: every nested wait returns at once, so the
    // run must stop as on a cancel rather than take those returns for ends.
    bool m_quitte = false;
    // The comparison date was set in its dialog while a run was going on:
    // the run's end must not write its own over it.
    bool m_dateChoisiePendantRun = false;
    // The user cancelled the current run (as opposed to it failing).
    bool m_annule = false;
    // Files of this run that can never be sent as they are (a name FTP cannot
    // carry, a file that exists but cannot be read): passed over, not failed.
    QStringList m_fichiersIgnores;
    // Folders below the local folder that could not be read: passed over with
    // their files, like the files above. An unreadable local folder fails the run.
    QStringList m_dossiersIgnores;
    bool m_racineIllisible = false;
    // The moment whose year decides which year folders are old; the same as
    // dateComparaison unless the clock was set back.
    quint32 m_dateAnnees = 0;
    bool m_horlogeReculee = false;
    // Where the server put the session after the login and the change to
    // the server folder, as its PWD named it; empty: "/" + the server folder.
    QString m_baseServeur;
    // The settings file could not be read at start: the form holds defaults,
    // which must not replace the user's settings on quitting.
    bool m_reglagesIllisibles = false;
    // "Nuvola.log": what the log pane shows, kept once the window is gone.
    std::unique_ptr<JournalExecution> m_journalRun;
    // Frame the tray shows; the one set when the tray was made is frame 0.
    int m_imageTray = 0;

    // --- ftp: remote folders of the open connection (src/ftp/ftpwait.cpp) ---
    // What the connection has learnt of the absolute remote folders, so that a
    // walk sends one CWD where it can. Forgotten whenever a connection opens.
    enum class EtatDossierDistant { Existe, Cree, Absent };
    QHash<QString, EtatDossierDistant> m_dossiersDistants;
    // The absolute folder the connection stands in; empty when unknown.
    QString m_dossierDistant;
    void oublierDossiersDistants();
    void retenirDossierBase();
    void situerDossierBase();
    QString baseServeur() const;
    bool allerDossierDistant(const QString &base, const QStringList &niveaux);
    bool entrerDossierDistant(const QString &absolu, bool *perdu);
    bool creerNiveauDistant(const QString &absolu, bool entrer);
    bool dossierDistantExiste(const QString &absolu) const;
    // Log pane texts not shown yet (src/ftp/ftplog.cpp): while logged in they
    // reach the pane a few times a second rather than one by one.
    QString m_journalEnAttente;
    bool m_journalProgramme = false;
    void afficherJournal();
};
