#include "app/fenprincipale.h"
#include "config/exclusionfile.h"
#include "dialogtestutil.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

#ifdef Q_OS_WIN
const QByteArray finDeLigne("\r\n");
#else
const QByteArray finDeLigne("\n");
#endif

// What the file holds for `entrees`, the way the platform writes text.
QByteArray contenuAttendu(const QStringList &entrees)
{
    QByteArray octets;
    for (const QString &entree : entrees)
        octets += entree.toUtf8() + finDeLigne;
    return octets;
}

bool ecrireOctets(const QString &chemin, const QByteArray &octets)
{
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::WriteOnly))
        return false;
    return fichier.write(octets) == octets.size();
}

QByteArray lireOctets(const QString &chemin)
{
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return fichier.readAll();
}

QStringList lignesAffichees(QListView *vue)
{
    QStringList lignes;
    QAbstractItemModel *modele = vue->model();
    for (int ligne = 0; ligne < modele->rowCount(); ++ligne)
        lignes << modele->index(ligne, 0).data(Qt::DisplayRole).toString();
    return lignes;
}

// The exclusion dialog as the user sees it, opened from the window's menu.
struct Dialogue
{
    QPointer<QDialog> fenetre;
    QListView *vue = nullptr;
    QPushButton *ajouter = nullptr;
    QPushButton *filtre = nullptr;
    QPushButton *supprimer = nullptr;
    QPushButton *annuler = nullptr;
    QPushButton *ok = nullptr;

    bool complet() const
    {
        return fenetre && vue && ajouter && filtre && supprimer && annuler && ok;
    }
};

Dialogue ouvrirDialogue(FenPrincipale &principale)
{
    Dialogue d;
    QAction *menu = nullptr;
    const auto actions = principale.findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == QStringLiteral("Exclure des fichiers..."))
            menu = action;
    }
    if (!menu)
        return d;
    menu->trigger();
    const auto dialogues = principale.findChildren<QDialog *>();
    for (QDialog *dialogue : dialogues) {
        if (dialogue->isVisible() && dialogue->windowTitle() == QStringLiteral("Exclure fichiers"))
            d.fenetre = dialogue;
    }
    if (!d.fenetre)
        return d;
    if (!QTest::qWaitForWindowExposed(d.fenetre))
        return Dialogue();
    d.vue = d.fenetre->findChild<QListView *>();
    d.ajouter = boutonNomme<QPushButton>(d.fenetre, QStringLiteral("Ajouter un fichier"));
    d.filtre = boutonNomme<QPushButton>(d.fenetre, QStringLiteral("Ajouter un filtre"));
    d.supprimer = boutonNomme<QPushButton>(d.fenetre, QStringLiteral("Supprimer"));
    d.annuler = boutonNomme<QPushButton>(d.fenetre, QStringLiteral("Annuler"));
    d.ok = boutonNomme<QPushButton>(d.fenetre, QStringLiteral("OK"));
    return d;
}

void cliquerLigne(QListView *vue, int ligne, Qt::KeyboardModifiers touches = Qt::NoModifier)
{
    const QRect zone = vue->visualRect(vue->model()->index(ligne, 0));
    QTest::mouseClick(vue->viewport(), Qt::LeftButton, touches, zone.center());
}

// Types `texte` into the filter prompt and confirms it, or cancels it.
std::shared_ptr<bool> repondreFiltre(const QString &texte, bool accepter)
{
    return quandModal(estDeType<QInputDialog>(), [=](QWidget *w) {
        auto *invite = static_cast<QInputDialog *>(w);
        auto *champ = invite->findChild<QLineEdit *>();
        if (champ) {
            champ->setFocus();
            taper(champ, texte);
        }
        auto *boutons = invite->findChild<QDialogButtonBox *>();
        QAbstractButton *bouton =
            boutons ? boutons->button(accepter ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                    : nullptr;
        if (bouton)
            QTest::mouseClick(bouton, Qt::LeftButton);
        else
            invite->reject();
    });
}

} // namespace

class TestExclusion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fichierAllerRetour_data();
    void fichierAllerRetour();
    void lectureFichier_data();
    void lectureFichier();
    void encodageAncien_data();
    void encodageAncien();
    void aspectDuDialogue();
    void premierDemarrageOkCreeFichierVide();
    void okEcrit();
    void annulerRecharge();
    void echapGardeEnMemoire();
    void supprimerLignesUnEtQuatre();
    void supprimerSansSelection();
    void ajouterFichier_data();
    void ajouterFichier();
    void ajouterFiltre_data();
    void ajouterFiltre();
    void ecritureAtomiqueDisquePlein();
    void ecritureImpossibleCibleDossier();

private:
    std::unique_ptr<DossierDonneesTemporaire> m_donnees;
};

void TestExclusion::initTestCase()
{
    Q_INIT_RESOURCE(nuvola);
}

void TestExclusion::init()
{
    m_donnees = std::make_unique<DossierDonneesTemporaire>();
    QVERIFY(m_donnees->estValide());
}

void TestExclusion::cleanup()
{
    m_donnees.reset();
}

void TestExclusion::fichierAllerRetour_data()
{
    QTest::addColumn<QStringList>("entrees");
    QTest::newRow("inner space and accent") << QStringList{
        QStringLiteral("C:/Pluvio/html/mini_1.png"),
        QStringLiteral("dossier avec espace/fichier.txt"), QStringLiteral("météo/été.html")};
    QTest::newRow("empty entry in the middle")
        << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("empty entry last") << QStringList{QStringLiteral("a"), QString()};
    QTest::newRow("only an empty entry") << QStringList{QString()};
    QTest::newRow("spaces only and duplicates")
        << QStringList{QStringLiteral("   "), QStringLiteral("x"), QStringLiteral("x")};
    QTest::newRow("empty list") << QStringList();
}

void TestExclusion::fichierAllerRetour()
{
    QFETCH(QStringList, entrees);
    const QString chemin = m_donnees->fichierExclu();
    QVERIFY(ecrireFichierExclu(chemin, entrees));
    const QByteArray octets = lireOctets(chemin);
    QCOMPARE(octets, contenuAttendu(entrees));
    QVERIFY(!octets.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(lireFichierExclu(chemin), entrees);
}

void TestExclusion::lectureFichier_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QStringList>("attendu");
    const QString accent = QStringLiteral("été/mini_é.png");
    QTest::newRow("missing file") << QByteArray() << QStringList();
    QTest::newRow("empty file") << QByteArray("") << QStringList();
    QTest::newRow("last line without line end")
        << QByteArray("a\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("ends with a line end, no extra entry")
        << QByteArray("a\nb\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("blank line is an empty entry")
        << QByteArray("a\n\nb\n")
        << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("only a line end") << QByteArray("\n") << QStringList{QString()};
    QTest::newRow("CR LF line ends")
        << QByteArray("a b\r\nc\r\n") << QStringList{QStringLiteral("a b"), QStringLiteral("c")};
    QTest::newRow("CR LF, last line without line end")
        << QByteArray("a\r\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("accents in UTF-8") << (accent.toUtf8() + "\n") << QStringList{accent};
    QTest::newRow("UTF-8 byte-order mark")
        << ("\xEF\xBB\xBF" + accent.toUtf8() + "\n") << QStringList{accent};
    QTest::newRow("inner and trailing spaces kept")
        << QByteArray(" a  b \n") << QStringList{QStringLiteral(" a  b ")};
}

// Lists from earlier versions are in the 8-bit code page of the system;
// Latin-1 stands for it here, where the system's own is UTF-8.
void TestExclusion::encodageAncien_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QStringList>("attendu");
    const QString meteo = QStringLiteral("C:/Pluvio/html/météo/été.png");
    QTest::newRow("8-bit accents") << (meteo.toLatin1() + "\r\n") << QStringList{meteo};
    QTest::newRow("8-bit accents on the second line only")
        << ("a\r\n" + meteo.toLatin1()) << QStringList{QStringLiteral("a"), meteo};
    QTest::newRow("UTF-8 kept whatever the fallback")
        << (meteo.toUtf8() + "\n") << QStringList{meteo};
    QTest::newRow("UTF-8 byte-order mark skipped")
        << ("\xEF\xBB\xBF" + meteo.toUtf8() + "\n") << QStringList{meteo};
    QTest::newRow("UTF-8 cut inside its last character")
        << QByteArray("ab\xC3") << QStringList{QStringLiteral("ab\u00C3")};
    QTest::newRow("nothing") << QByteArray() << QStringList();
}

void TestExclusion::encodageAncien()
{
    QFETCH(QByteArray, octets);
    QFETCH(QStringList, attendu);
    QCOMPARE(entreesFichierExclu(octets, QStringConverter::Latin1), attendu);
}

// The file as the window loads it at start-up and shows it in the dialog.
void TestExclusion::lectureFichier()
{
    QFETCH(QByteArray, octets);
    QFETCH(QStringList, attendu);
    const bool manquant = QByteArray(QTest::currentDataTag()) == "missing file";
    if (!manquant)
        QVERIFY(ecrireOctets(m_donnees->fichierExclu(), octets));

    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    QCOMPARE(lignesAffichees(d.vue), attendu);
    QCOMPARE(QFile::exists(m_donnees->fichierExclu()), !manquant);

    // OK writes back the same entries, in the platform's own line ends.
    QTest::mouseClick(d.ok, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.fenetre || !d.fenetre->isVisible(), 5000);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(attendu));
}

void TestExclusion::aspectDuDialogue()
{
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), "un\ndeux\n"));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    QCOMPARE(d.fenetre->size(), QSize(550, 350));
    QCOMPARE(d.fenetre->minimumSize(), QSize(550, 350));
    QCOMPARE(d.fenetre->maximumSize(), QSize(550, 350));
    QCOMPARE(d.fenetre->windowModality(), Qt::WindowModal);
    QCOMPARE(d.vue->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(d.vue->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!d.supprimer->isEnabled());

    // The column of buttons, top to bottom.
    const QList<QPushButton *> ordre{d.ajouter, d.filtre, d.supprimer, d.annuler, d.ok};
    for (int i = 1; i < ordre.size(); ++i)
        QVERIFY(ordre.at(i - 1)->geometry().top() < ordre.at(i)->geometry().top());
    QVERIFY(d.vue->geometry().right() < d.ok->geometry().left());

    // A double click does not open an editor.
    const QRect zone = d.vue->visualRect(d.vue->model()->index(0, 0));
    QTest::mouseDClick(d.vue->viewport(), Qt::LeftButton, Qt::NoModifier, zone.center());
    QVERIFY(!d.vue->isPersistentEditorOpen(d.vue->model()->index(0, 0)));
    QVERIFY(!d.vue->findChild<QLineEdit *>());

    // An addition leaves the delete button as it was.
    auto vu = repondreFiltre(QStringLiteral("trois"), true);
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);
    QVERIFY(!d.supprimer->isEnabled());
    QCOMPARE(lignesAffichees(d.vue),
             (QStringList{QStringLiteral("un"), QStringLiteral("deux"), QStringLiteral("trois")}));
}

void TestExclusion::premierDemarrageOkCreeFichierVide()
{
    QVERIFY(!QFile::exists(m_donnees->fichierExclu()));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    QCOMPARE(d.vue->model()->rowCount(), 0);
    QTest::mouseClick(d.ok, Qt::LeftButton);
    QVERIFY(QFile::exists(m_donnees->fichierExclu()));
    QCOMPARE(QFileInfo(m_donnees->fichierExclu()).size(), 0);
}

void TestExclusion::okEcrit()
{
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), "un\ndeux\n"));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());

    auto vu = repondreFiltre(QStringLiteral("mini_ é"), true);
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);
    cliquerLigne(d.vue, 0);
    QVERIFY(d.supprimer->isEnabled());
    QTest::mouseClick(d.supprimer, Qt::LeftButton);
    const QStringList attendu{QStringLiteral("deux"), QStringLiteral("mini_ é")};
    QCOMPARE(lignesAffichees(d.vue), attendu);
    // Nothing reaches the file before OK.
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), QByteArray("un\ndeux\n"));

    QTest::mouseClick(d.ok, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.fenetre || !d.fenetre->isVisible(), 5000);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(attendu));

    // The next start reads what OK stored.
    FenPrincipale suivante;
    Dialogue e = ouvrirDialogue(suivante);
    QVERIFY(e.complet());
    QCOMPARE(lignesAffichees(e.vue), attendu);
}

void TestExclusion::annulerRecharge()
{
    const QByteArray contenu =
        contenuAttendu({QStringLiteral("a"), QStringLiteral("b"), QString(), QStringLiteral("c")});
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), contenu));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());

    auto vu = repondreFiltre(QStringLiteral("a"), true);
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);
    cliquerLigne(d.vue, 1);
    QTest::mouseClick(d.supprimer, Qt::LeftButton);
    QCOMPARE(lignesAffichees(d.vue), (QStringList{QStringLiteral("a"), QString(),
                                                  QStringLiteral("c"), QStringLiteral("a")}));

    QTest::mouseClick(d.annuler, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.fenetre || !d.fenetre->isVisible(), 5000);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenu);

    // Exactly the file's entries, without duplicates, in memory again.
    Dialogue e = ouvrirDialogue(principale);
    QVERIFY(e.complet());
    QCOMPARE(lignesAffichees(e.vue), (QStringList{QStringLiteral("a"), QStringLiteral("b"),
                                                  QString(), QStringLiteral("c")}));
    principale.EcritureFichierExclu();
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenu);
}

void TestExclusion::echapGardeEnMemoire()
{
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), "a\nb\n"));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    auto vu = repondreFiltre(QStringLiteral("zz"), true);
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);

    QTest::keyClick(d.fenetre, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!d.fenetre || !d.fenetre->isVisible(), 5000);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), QByteArray("a\nb\n"));

    const QStringList edite{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("zz")};
    Dialogue e = ouvrirDialogue(principale);
    QVERIFY(e.complet());
    QCOMPARE(lignesAffichees(e.vue), edite);
    QTest::keyClick(e.fenetre, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!e.fenetre || !e.fenetre->isVisible(), 5000);

    principale.EcritureFichierExclu();
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(edite));
}

void TestExclusion::supprimerLignesUnEtQuatre()
{
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), "r0\nr1\nr2\nr3\nr4\nr5\n"));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    QVERIFY(!d.supprimer->isEnabled());

    cliquerLigne(d.vue, 1);
    QVERIFY(d.supprimer->isEnabled());
    cliquerLigne(d.vue, 4, Qt::ControlModifier);
    QCOMPARE(d.vue->selectionModel()->selectedRows().size(), 2);

    QTest::mouseClick(d.supprimer, Qt::LeftButton);
    const QStringList attendu{QStringLiteral("r0"), QStringLiteral("r2"), QStringLiteral("r3"),
                              QStringLiteral("r5")};
    QCOMPARE(lignesAffichees(d.vue), attendu);
    QVERIFY(!d.supprimer->isEnabled());
    QVERIFY(!d.vue->selectionModel()->hasSelection());

    QTest::mouseClick(d.ok, Qt::LeftButton);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(attendu));
}

void TestExclusion::supprimerSansSelection()
{
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), "r0\nr1\nr2\n"));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());

    // Ctrl+click twice: the row is selected, then unselected; the button stays on.
    cliquerLigne(d.vue, 1, Qt::ControlModifier);
    QVERIFY(d.supprimer->isEnabled());
    cliquerLigne(d.vue, 1, Qt::ControlModifier);
    QVERIFY(!d.vue->selectionModel()->hasSelection());
    QVERIFY(d.supprimer->isEnabled());

    QTest::mouseClick(d.supprimer, Qt::LeftButton);
    QVERIFY(!d.supprimer->isEnabled());
    const QStringList attendu{QStringLiteral("r0"), QStringLiteral("r1"), QStringLiteral("r2")};
    QCOMPARE(lignesAffichees(d.vue), attendu);
    principale.EcritureFichierExclu();
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(attendu));
}

void TestExclusion::ajouterFichier_data()
{
    QTest::addColumn<QStringList>("choisis");
    QTest::addColumn<QStringList>("ajoutes");
    QTest::newRow("same path, same case: nothing added")
        << QStringList{QStringLiteral("Meteo.html")} << QStringList();
    QTest::newRow("same path, other case: added")
        << QStringList{QStringLiteral("meteo.html")} << QStringList{QStringLiteral("meteo.html")};
    QTest::newRow("two new files, in the chooser's order")
        << QStringList{QStringLiteral("b é.png"), QStringLiteral("c.txt")}
        << QStringList{QStringLiteral("b é.png"), QStringLiteral("c.txt")};
    QTest::newRow("a listed and a new file")
        << QStringList{QStringLiteral("Meteo.html"), QStringLiteral("c.txt")}
        << QStringList{QStringLiteral("c.txt")};
    QTest::newRow("chooser cancelled") << QStringList() << QStringList();
}

void TestExclusion::ajouterFichier()
{
    QFETCH(QStringList, choisis);
    QFETCH(QStringList, ajoutes);

#ifdef Q_OS_WIN
    if (QByteArray(QTest::currentDataTag()).contains("other case"))
        QSKIP("Windows file names ignore letter case: both spellings name one file");
#endif
    QTemporaryDir local;
    QVERIFY(local.isValid());
    const QString dossier = QDir::fromNativeSeparators(local.path());
    for (const QString &nom : {QStringLiteral("Meteo.html"), QStringLiteral("meteo.html"),
                               QStringLiteral("b é.png"), QStringLiteral("c.txt")})
        QVERIFY(ecrireOctets(dossier + QLatin1Char('/') + nom, "x"));

    const QString deja = dossier + QStringLiteral("/Meteo.html");
    QVERIFY(
        ecrireOctets(m_donnees->fichierExclu(), contenuAttendu({QStringLiteral("filtre"), deja})));
    QSettings reglages(m_donnees->fichierIni(), QSettings::IniFormat);
    reglages.setValue(QStringLiteral("Config/DosLocal"), dossier);
    reglages.sync();

    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());

    QString dossierOuvert;
    auto vu = quandModal(estDeType<QFileDialog>(), [&](QWidget *w) {
        auto *selecteur = static_cast<QFileDialog *>(w);
        dossierOuvert = QDir::fromNativeSeparators(selecteur->directory().absolutePath());
        auto *champ = selecteur->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *boutons = selecteur->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        if (choisis.isEmpty() || !champ || !boutons) {
            QAbstractButton *annuler =
                boutons ? boutons->button(QDialogButtonBox::Cancel) : nullptr;
            if (annuler)
                QTest::mouseClick(annuler, Qt::LeftButton);
            else
                selecteur->reject();
            return;
        }
        QStringList cites;
        for (const QString &nom : choisis)
            cites << QLatin1Char('"') + nom + QLatin1Char('"');
        champ->setText(choisis.size() == 1 ? choisis.first() : cites.join(QLatin1Char(' ')));
        QAbstractButton *ouvrir = boutons->button(QDialogButtonBox::Open);
        if (ouvrir && ouvrir->isEnabled())
            QTest::mouseClick(ouvrir, Qt::LeftButton);
        else
            selecteur->reject();
    });
    QTest::mouseClick(d.ajouter, Qt::LeftButton);
    QVERIFY(*vu);
    QCOMPARE(dossierOuvert, dossier);

    QStringList attendu{QStringLiteral("filtre"), deja};
    for (const QString &nom : ajoutes)
        attendu << dossier + QLatin1Char('/') + nom;
    QCOMPARE(lignesAffichees(d.vue), attendu);
    QTest::mouseClick(d.ok, Qt::LeftButton);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(attendu));
}

void TestExclusion::ajouterFiltre_data()
{
    QTest::addColumn<QString>("tape");
    QTest::addColumn<bool>("accepte");
    QTest::addColumn<QStringList>("attendu");
    QTest::newRow("prefix") << QStringLiteral("mmini_") << true
                            << QStringList{QStringLiteral("mmini_"), QStringLiteral("mmini_")};
    QTest::newRow("new prefix with accent")
        << QStringLiteral("été_") << true
        << QStringList{QStringLiteral("mmini_"), QStringLiteral("été_")};
    QTest::newRow("spaces only, kept as typed")
        << QStringLiteral("  ") << true
        << QStringList{QStringLiteral("mmini_"), QStringLiteral("  ")};
    QTest::newRow("empty text adds nothing")
        << QString() << true << QStringList{QStringLiteral("mmini_")};
    QTest::newRow("prompt cancelled")
        << QStringLiteral("abc") << false << QStringList{QStringLiteral("mmini_")};
}

void TestExclusion::ajouterFiltre()
{
    QFETCH(QString, tape);
    QFETCH(bool, accepte);
    QFETCH(QStringList, attendu);
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), "mmini_\n"));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());

    QString titre;
    QString libelle;
    auto vu = quandModal(estDeType<QInputDialog>(), [&](QWidget *w) {
        auto *invite = static_cast<QInputDialog *>(w);
        titre = invite->windowTitle();
        libelle = invite->labelText();
    });
    // The prompt is inspected first, then answered.
    auto repondu = repondreFiltre(tape, accepte);
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);
    QVERIFY(*repondu);
    QCOMPARE(titre, QStringLiteral("Filtre"));
    QCOMPARE(libelle,
             QStringLiteral("Exclure les fichiers dont le chemin complet comporte:\nEx: mmini_"));
    QCOMPARE(lignesAffichees(d.vue), attendu);
}

// A write that fails half-way (here: the file size limit of the process, which
// holds for every user, root included) must leave the previous list on disk.
void TestExclusion::ecritureAtomiqueDisquePlein()
{
#ifndef Q_OS_UNIX
    QSKIP("Needs a per-process file size limit (setrlimit), which only Unix offers");
#else
    const QByteArray ancien = contenuAttendu({QStringLiteral("garde"), QStringLiteral("moi")});
    QVERIFY(ecrireOctets(m_donnees->fichierExclu(), ancien));
    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    const QString long_ = QString(20000, QLatin1Char('x'));
    auto vu = quandModal(estDeType<QInputDialog>(), [&](QWidget *w) {
        auto *invite = static_cast<QInputDialog *>(w);
        if (auto *champ = invite->findChild<QLineEdit *>())
            champ->setText(long_);
        invite->accept();
    });
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);

    struct rlimit avant
    {
    };
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &avant), 0);
    struct rlimit borne = avant;
    borne.rlim_cur = 4096;
    const auto ancienSignal = std::signal(SIGXFSZ, SIG_IGN);
    QString dit;
    auto boite = repondreBoite(&dit);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &borne), 0);
    QTest::mouseClick(d.ok, Qt::LeftButton);
    const int retour = setrlimit(RLIMIT_FSIZE, &avant);
    std::signal(SIGXFSZ, ancienSignal);
    QCOMPARE(retour, 0);
    QVERIFY(*boite);
    QVERIFY2(dit.startsWith(QStringLiteral("La liste d'exclusion n'a pas pu être enregistrée")),
             qPrintable(dit));

    QCOMPARE(lireOctets(m_donnees->fichierExclu()), ancien);
    QCOMPARE(QDir(m_donnees->chemin()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("ExcludedFiles.dat")});

    // The edit is still in memory and is stored once writing works again.
    const QStringList edite{QStringLiteral("garde"), QStringLiteral("moi"), long_};
    Dialogue e = ouvrirDialogue(principale);
    QVERIFY(e.complet());
    QCOMPARE(lignesAffichees(e.vue), edite);
    QTest::mouseClick(e.ok, Qt::LeftButton);
    QCOMPARE(lireOctets(m_donnees->fichierExclu()), contenuAttendu(edite));
#endif
}

// A target that cannot be replaced (a folder in its place, which stops every
// user, root included) changes nothing on disk, is said in a box (the edit
// would otherwise vanish unnoticed at the next start), keeps the edit.
void TestExclusion::ecritureImpossibleCibleDossier()
{
    QVERIFY(QDir().mkpath(m_donnees->fichierExclu()));
    const QString dedans = m_donnees->fichierExclu() + QStringLiteral("/dedans.txt");
    QVERIFY(ecrireOctets(dedans, "intact"));

    FenPrincipale principale;
    Dialogue d = ouvrirDialogue(principale);
    QVERIFY(d.complet());
    QCOMPARE(d.vue->model()->rowCount(), 0);
    auto vu = repondreFiltre(QStringLiteral("nouveau"), true);
    QTest::mouseClick(d.filtre, Qt::LeftButton);
    QVERIFY(*vu);
    QString dit;
    auto boite = repondreBoite(&dit);
    QTest::mouseClick(d.ok, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.fenetre || !d.fenetre->isVisible(), 5000);
    QVERIFY(*boite);
    QVERIFY2(dit.contains(QDir::toNativeSeparators(m_donnees->fichierExclu())), qPrintable(dit));

    QVERIFY(QFileInfo(m_donnees->fichierExclu()).isDir());
    QCOMPARE(lireOctets(dedans), QByteArray("intact"));
    QCOMPARE(QDir(m_donnees->chemin()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(!QApplication::activeModalWidget());

    Dialogue e = ouvrirDialogue(principale);
    QVERIFY(e.complet());
    QCOMPARE(lignesAffichees(e.vue), QStringList{QStringLiteral("nouveau")});
}

QTEST_MAIN(TestExclusion)
#include "tst_exclusion.moc"
