#include "app/fenprincipale.h"

#include "app/allocateur.h"
#include "app/cadenceaffichage.h"
#include "config/datecomparaison.h"
#include "config/settingsfile.h"
#include "ftp/commandresult.h"
#include "ftp/remotepaths.h"
#include "ftp/runlog.h"
#include "ftp/sendorder.h"
#include "ftp/serverreply.h"
#include "ftp/trayframe.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QVector>
#include <cstdio>

namespace {

// Decoding an image after every file costs more than sending a small page.
const QIcon &imageTray(int numero)
{
    // Each frame is decoded on first use only: a run of a few files shows
    // few of them, and an automatic run may show none but the first.
    static QVector<QIcon> images(13);
    QIcon &image = images[numero];
    if (image.isNull())
        image = QIcon(QStringLiteral(":/Nuvola/Nuvola%1.png").arg(numero));
    return image;
}

} // namespace

void FenPrincipale::transfert()
{
    if (boutonTransfert->text() == tr("Annuler")) {
        m_annule = true;
        AnnulerTransfert();
        ftp->abort();
        return;
    }
    // A cancelled run is still closing: a new one would run inside its wait.
    if (m_runEnCours)
        return;
    m_runEnCours = true;
    m_dateChoisiePendantRun = false;
    m_annule = false;
    commencerJournalRun();
    IssueTransfert issue = executerTransfert();
    if (m_annule && issue == IssueTransfert::Echoue)
        issue = IssueTransfert::Annule;
    m_codeSortie =
        (issue == IssueTransfert::Reussi || issue == IssueTransfert::RienAEnvoyer) ? 0 : 2;
    terminerJournalRun(issue);
    m_runEnCours = false;
    // An automatic run ends the process right after.
    if (!IsModeAuto())
        rendreMemoireLibre();
}

void FenPrincipale::commencerJournalRun()
{
    m_journalRun = std::make_unique<JournalExecution>(QFileInfo(fichierIni).absolutePath() +
                                                      QStringLiteral("/Nuvola.log"));
    m_journalRun->setSecret(motDePasse->text());
    m_journalRun->commencer(QDateTime::currentDateTime(), IsModeAuto());
}

void FenPrincipale::terminerJournalRun(IssueTransfert issue)
{
    static const QMap<IssueTransfert, JournalExecution::Issue> issues{
        {IssueTransfert::Reussi, JournalExecution::Issue::Reussi},
        {IssueTransfert::RienAEnvoyer, JournalExecution::Issue::RienAEnvoyer},
        {IssueTransfert::Echoue, JournalExecution::Issue::Echec},
        {IssueTransfert::Annule, JournalExecution::Issue::Annule}};
    const bool modeAuto = IsModeAuto();
    m_journalRun->terminer(issues.value(issue), modeAuto ? m_codeSortie : -1);
    // Quiet when all is well: a scheduler that mails output mails only
    // failures, runs that passed over a file the user must see to, and runs
    // that found the clock set back.
    if (modeAuto && (m_codeSortie != 0 || !m_fichiersIgnores.isEmpty() ||
                     !m_dossiersIgnores.isEmpty() || m_horlogeReculee)) {
        std::fputs(m_journalRun->texteRun().toUtf8().constData(), stderr);
        std::fflush(stderr);
    }
    m_journalRun.reset();
}

FenPrincipale::IssueTransfert FenPrincipale::executerTransfert()
{
    listeEnvoi.clear();
    indexCourant = 0;
    dossierCourant = QStringLiteral("/");
    arretTransfert = false;
    journal->clear();
    nbEchecs = 0;
    m_fichiersIgnores.clear();
    m_dossiersIgnores.clear();
    m_racineIllisible = false;
    m_horlogeReculee = false;
    m_baseServeur.clear();
    // Unread, "Date" would be taken as never set, the run would compare with
    // now, and what changed since the last success would never be sent.
    if (!fichierIniLisible(fichierIni)) {
        ecrireJournal(tr("Réglages illisibles : %1 (lecture impossible)\n")
                          .arg(QDir::toNativeSeparators(fichierIni)));
        return IssueTransfert::Echoue;
    }
    // A scheduled run under another account, or before the window was ever
    // used, would work from the defaults: send nothing, record a date in a new
    // file, and report success on every run.
    if (IsModeAuto() && !QFileInfo::exists(fichierIni)) {
        ecrireJournal(tr("Réglages introuvables : %1 (lancez Nuvola sans /auto pour les saisir, "
                         "avec le compte qui lance ce transfert)\n")
                          .arg(QDir::toNativeSeparators(fichierIni)));
        return IssueTransfert::Echoue;
    }
    const auto maintenant = static_cast<quint32>(QDateTime::currentSecsSinceEpoch());
    const quint32 stockee = lireDateComparaison(fichierIni, maintenant);
    const DatesTransfert dates = datesTransfert(stockee, maintenant);
    dateComparaison = dates.fichiers;
    m_dateAnnees = dates.annees;
    m_horlogeReculee = dates.horlogeReculee;
    debutTransfert = QDateTime::currentSecsSinceEpoch();
    if (dates.horlogeReculee)
        ecrireJournal(tr("Date du dernier transfert (%1) postérieure à l'heure de l'ordinateur : "
                         "l'horloge a reculé, tous les fichiers sont envoyés\n")
                          .arg(QDateTime::fromSecsSinceEpoch(stockee).toString(
                              QStringLiteral("dd/MM/yyyy hh:mm:ss"))));

    ecrireJournal(tr("Analyse des fichiers..."));
    QCoreApplication::processEvents();
    AnalyseDossier();
    listeEnvoi = grouperParType(listeEnvoi, modeBinaire->text());
    const int total = listeEnvoi.size();
    progression->setMaximum(total - 1);
    barreEtat->showMessage(QString::number(total) + tr(" fichiers à transférer"));

    // A missing local folder (an unmounted drive, a share that is down) is not
    // "nothing to send": recording the run would skip what changes meanwhile.
    if (!dossierLocalExiste()) {
        ecrireJournal(tr("Dossier local introuvable : %1\n").arg(dossierLocal->text()));
        return IssueTransfert::Echoue;
    }
    // Just as much: nothing listed there does not mean nothing changed.
    if (m_racineIllisible) {
        ecrireJournal(tr("Dossier local illisible : %1\n").arg(dossierLocal->text()));
        return IssueTransfert::Echoue;
    }
    if (total == 0) {
        ecrireJournal(tr("Aucun fichier à transférer\n"));
        // A run whose date cannot be recorded is not over: the user must see to it.
        if (!WriteIniLastSuccessTransfert(dateDernierSucces()))
            return IssueTransfert::Echoue;
        avertirIgnores();
        return IssueTransfert::RienAEnvoyer;
    }

    boutonTransfert->setText(tr("Annuler"));
    chrono.start();
    timerHorloge.setInterval(1000);
    timerHorloge.start();
    connect(&timerHorloge, &QTimer::timeout, this, &FenPrincipale::UpdateHorloge,
            Qt::UniqueConnection);
    creerClientFtp();

    if (!ouvrirSession()) {
        AnnulerTransfert();
        FinFtp();
        return IssueTransfert::Echoue;
    }
    {
        // Only what a run changes: the fields and buttons answer as usual,
        // and dialogs, children of the window, are not held back.
        const CadenceAffichage cadence({journal, progression, barreEtat});
        envoyerListe();
    }
    return terminerEnvois();
}

bool FenPrincipale::ouvrirSession()
{
    if (!connecterServeur())
        return false;
    ResultatCommande identification(ftp, ftp->login(utilisateur->text(), motDePasse->text()));
    if (!attendreFinFtp(m_delais.identification) || !identification.reussi() || m_quitte) {
        if (ftp->tlsFailure() == FtpClient::TlsProtectionRefused)
            journaliserEchecTls();
        ecrireJournal(
            tr("Identification impossible \nVérifiez le nom d'utilisateur et le mot de passe\n"));
        return false;
    }
    if (changerDeDossierApresConnexion(dossierServeur->text())) {
        ResultatCommande dossier(ftp, ftp->cd(dossierApresConnexion(dossierServeur->text())));
        attendreFinFtp(m_delais.dossier);
        if (!dossier.reussi() || m_quitte) {
            ecrireJournal(tr("Impossible de se déplacer dans le dossier source\n"));
            if (ftp->error() == FtpClient::UnknownError)
                ecrireJournal(ligneReponseServeur(ftp->errorString()));
            return false;
        }
        situerDossierBase();
        // The first walk starts from here rather than enter it once more.
        retenirDossierBase();
    } else {
        situerDossierBase();
    }
    return true;
}

void FenPrincipale::envoyerListe()
{
    const int total = listeEnvoi.size();
    int i = 0;
    while (i < listeEnvoi.size()) {
        if (EnvoiFichier(listeEnvoi.at(i))) {
            if (indexCourant < total - 1)
                ++indexCourant;
            // A hidden tray (none on this desktop) shows nothing: its frames
            // are not worth decoding.
            const int image = imageTrayApresEnvoi(i, total);
            if (iconeTray->isVisible() && image != m_imageTray) {
                iconeTray->setIcon(imageTray(image));
                m_imageTray = image;
            }
            ++i;
            afficherAvancement(i, total);
        } else if (++nbEchecs > 4) {
            arretTransfert = true;
        }
        // Quitting ends every wait at once: stop as on a cancel.
        if (m_quitte)
            arretTransfert = true;
        if (arretTransfert)
            break;
    }
}

void FenPrincipale::afficherAvancement(int envoyes, int total)
{
    barreEtat->showMessage(QStringLiteral("%1/%2").arg(envoyes).arg(total) +
                           tr(" fichiers envoyés"));
    progression->setValue(envoyes - 1);
}

FenPrincipale::IssueTransfert FenPrincipale::terminerEnvois()
{
    // Frame 0 is what the tray shows already unless the run moved it.
    if (m_imageTray != 0) {
        iconeTray->setIcon(imageTray(0));
        m_imageTray = 0;
    }
    FinFtp();
    boutonTransfert->setText(tr("Transférer"));
    const bool reussi = !arretTransfert && WriteIniLastSuccessTransfert(dateDernierSucces());
    if (reussi)
        avertirIgnores();
    timerHorloge.stop();
    return reussi ? IssueTransfert::Reussi : IssueTransfert::Echoue;
}

// Said at the end, where the user looks: what was passed over is not resent
// by later runs until it changes again.
void FenPrincipale::avertirIgnores()
{
    if (!m_fichiersIgnores.isEmpty())
        ecrireJournal(tr("Attention : %1 fichier(s) ignoré(s), repris seulement à leur "
                         "prochaine modification\n")
                          .arg(m_fichiersIgnores.size()));
    if (!m_dossiersIgnores.isEmpty())
        ecrireJournal(tr("Attention : %1 dossier(s) illisible(s) ignoré(s), leurs fichiers "
                         "repris seulement à leur prochaine modification\n")
                          .arg(m_dossiersIgnores.size()));
}

qint64 FenPrincipale::dateDernierSucces() const
{
    // A file the station rewrites after the scan passed it must be newer than
    // what is recorded, or it is never sent. Times are compared to the second,
    // so a rewrite in the very second the run started carries that second;
    // FAT, on Linux, rounds times down to even seconds, one more; and the
    // file clock may run a tick behind the one read here, into the second
    // before. Recording three seconds earlier resends the few files written
    // just before the run rather than lose one written just after.
    return debutTransfert - 3;
}

void FenPrincipale::AnnulerTransfert()
{
    arretTransfert = true;
    boutonTransfert->setText(tr("Transférer"));
    timerHorloge.stop();
}
