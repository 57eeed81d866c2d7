#include "app/fenprincipale.h"

#include "app/systemtray.h"
#include "config/settingsfile.h"
#include "ftp/runlog.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

const char *const versionNuvola = "1.8";

QLineEdit *champSansMenu(QWidget *parent)
{
    auto *champ = new QLineEdit(parent);
    champ->setContextMenuPolicy(Qt::NoContextMenu);
    return champ;
}

QHBoxLayout *rangeeCentree(QWidget *widget)
{
    auto *rangee = new QHBoxLayout;
    rangee->addStretch();
    rangee->addWidget(widget);
    rangee->addStretch();
    return rangee;
}

} // namespace

FenPrincipale::FenPrincipale() : QMainWindow()
{
    setWindowTitle(tr("Nuvola ") + QLatin1String(versionNuvola));
    setFixedSize(350, 430);

    auto *central = new QWidget;
    construireMenus();
    construireFormulaire(central);
    construireBarreEtat();
    construireTray();
    fichierIni = cheminFichierIni();
    setCentralWidget(central);

    LectureIni();
    EtatDemarrage();
    if (IsModeAuto())
        executerModeAuto();
}

FenPrincipale::~FenPrincipale() = default;

void FenPrincipale::construireMenus()
{
    auto *actionTransferer = new QAction(tr("&Transférer"), this);
    auto *actionQuitter = new QAction(tr("&Quitter"), this);
    connect(actionTransferer, &QAction::triggered, this, &FenPrincipale::transfert);
    connect(actionQuitter, &QAction::triggered, this, &FenPrincipale::Quitter);
    QMenu *menuFichier = menuBar()->addMenu(tr("&Fichier"));
    menuFichier->addAction(actionTransferer);
    menuFichier->addSeparator();
    menuFichier->addAction(actionQuitter);

    auto *actionDate = new QAction(tr("Modifier date comparaison..."), this);
    connect(actionDate, &QAction::triggered, this, &FenPrincipale::modifDate);
    actionMinimise = new QAction(tr("Démarrer minimisé"), this);
    actionMinimise->setCheckable(true);
    actionExclureAnnees = new QAction(tr("Exclure années précédentes"), this);
    actionExclureAnnees->setCheckable(true);
    actionFtps = new QAction(tr("Connexion sécurisée (FTPS)"), this);
    actionFtps->setCheckable(true);
    auto *actionExclure = new QAction(tr("Exclure des fichiers..."), this);
    connect(actionExclure, &QAction::triggered, this, &FenPrincipale::fenetre_exclure);
    QMenu *menuOptions = menuBar()->addMenu(tr("Options"));
    menuOptions->addAction(actionMinimise);
    menuOptions->addAction(actionExclureAnnees);
    menuOptions->addAction(actionFtps);
    menuOptions->addAction(actionExclure);
    menuOptions->addSeparator();
    menuOptions->addAction(actionDate);

    auto *actionApropos = new QAction(tr("A propos de..."), this);
    connect(actionApropos, &QAction::triggered, this, &FenPrincipale::fenetre_apropos);
    QMenu *menuAide = menuBar()->addMenu(QStringLiteral("?"));
    menuAide->addAction(actionApropos);

    // The tray menu shares this very action (see construireTray).
    actionQuitter->setObjectName(QStringLiteral("actionQuitter"));
}

void FenPrincipale::construireFormulaire(QWidget *central)
{
    auto *formulaire = new QFormLayout;

    serveur = champSansMenu(central);
    port = new QSpinBox(central);
    port->setMinimumWidth(40);
    // A port is a 16-bit number: a wider range would silently wrap (70000 -> 4464).
    port->setRange(0, 65535);
    port->setValue(21);
    port->setButtonSymbols(QAbstractSpinBox::NoButtons);
    port->setAlignment(Qt::AlignRight);
    port->setContextMenuPolicy(Qt::NoContextMenu);
    auto *rangeeServeur = new QHBoxLayout;
    rangeeServeur->addWidget(serveur);
    rangeeServeur->addWidget(new QLabel(tr("Port :"), central));
    rangeeServeur->addWidget(port);
    formulaire->addRow(tr("Serveur :"), rangeeServeur);

    utilisateur = champSansMenu(central);
    utilisateur->setMaximumWidth(120);
    formulaire->addRow(tr("Utilisateur :"), utilisateur);

    motDePasse = champSansMenu(central);
    motDePasse->setMaximumWidth(120);
    motDePasse->setEchoMode(QLineEdit::Password);
    formulaire->addRow(tr("Mot de passe :"), motDePasse);

    dossierServeur = champSansMenu(central);
    formulaire->addRow(tr("Dossier serveur :"), dossierServeur);

    dossierLocal = champSansMenu(central);
    auto *boutonDossier = new QPushButton(QStringLiteral("..."), central);
    boutonDossier->setMaximumWidth(30);
    connect(boutonDossier, &QPushButton::clicked, this, &FenPrincipale::selectionner_dossier);
    auto *rangeeLocal = new QHBoxLayout;
    rangeeLocal->addWidget(dossierLocal);
    rangeeLocal->addWidget(boutonDossier);
    formulaire->addRow(tr("Dossier local :"), rangeeLocal);

    modeAscii = champSansMenu(central);
    formulaire->addRow(tr("Mode ascii :"), modeAscii);
    modeBinaire = champSansMenu(central);
    formulaire->addRow(tr("Mode binaire :"), modeBinaire);
    dossierExclu = champSansMenu(central);
    dossierExclu->setToolTip(tr("Chemin à partir du dossier local\nEx: html;html/2007;"));
    formulaire->addRow(tr("Dossier à exclure :"), dossierExclu);

    journal = new QTextEdit(central);
    journal->setReadOnly(true);
    journal->setMaximumHeight(160);
    journal->setContextMenuPolicy(Qt::NoContextMenu);

    boutonTransfert = new QPushButton(tr("Transférer"), central);
    connect(boutonTransfert, &QPushButton::clicked, this, &FenPrincipale::transfert);

    progression = new QProgressBar(central);
    progression->setMinimumWidth(350);

    auto *vertical = new QVBoxLayout;
    vertical->addLayout(formulaire);
    vertical->addWidget(journal);
    vertical->addLayout(rangeeCentree(boutonTransfert));
    vertical->addStretch();
    vertical->addWidget(progression);
    central->setLayout(vertical);
}

void FenPrincipale::construireBarreEtat()
{
    barreEtat = statusBar();
    horloge = new QLabel(this);
    barreEtat->addPermanentWidget(horloge, 0);
}

void FenPrincipale::construireTray()
{
    iconeTray = new QSystemTrayIcon(this);
    actionAgrandir = new QAction(tr("Agrandir"), this);
    actionReduire = new QAction(tr("Réduire"), this);
    connect(actionAgrandir, &QAction::triggered, this, &FenPrincipale::Agrandir);
    connect(actionReduire, &QAction::triggered, this, &FenPrincipale::Reduir);

    auto *menuTray = new QMenu(this);
    menuTray->addAction(actionAgrandir);
    menuTray->addAction(actionReduire);
    menuTray->addSeparator();
    menuTray->addAction(findChild<QAction *>(QStringLiteral("actionQuitter")));
    iconeTray->setContextMenu(menuTray);
    iconeTray->setIcon(QIcon(QStringLiteral(":/Nuvola/Nuvola0.png")));
    // Without a tray (offscreen, some desktops) showing it only earns a warning
    // on standard error, which a scheduler would mail after every run.
    if (trayDisponible())
        iconeTray->show();
}

void FenPrincipale::executerModeAuto()
{
    // Paint a window that the start state has shown before the run begins.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    transfert();
    // The run is over and its log closed. Quitting only works once the event
    // loop runs (this is still the constructor): queued, it runs as soon as
    // the loop starts.
    QMetaObject::invokeMethod(this, &FenPrincipale::Quitter, Qt::QueuedConnection);
}

void FenPrincipale::selectionner_dossier()
{
    const QString choisi = QFileDialog::getExistingDirectory(
        this, tr("Ouvrir dosssier"), QStringLiteral("/home"),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!choisi.isEmpty())
        dossierLocal->setText(choisi);
}
