#include "app/fenprincipale.h"
#include "app/systemtray.h"
#include "dialogtestutil.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>

#include <memory>
#include <optional>

namespace {

QAction *actionNommee(QWidget *fenetre, const QString &texte)
{
    const auto actions = fenetre->findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == texte)
            return action;
    }
    return nullptr;
}

} // namespace

class TestEtatFenetre : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void demarrageMinimise_data();
    void demarrageMinimise();
    void demarrageNormal_data();
    void demarrageNormal();
    void reduireDepuisAffichee_data();
    void reduireDepuisAffichee();
    void minimiseParBarreDeTitre_data();
    void minimiseParBarreDeTitre();
    void horlogeAvantPremierTransfert();

private:
    void colonnesTray();
    void appliquerTray();
    void ecrireMinimise(int valeur);

    std::unique_ptr<DossierDonneesTemporaire> m_donnees;
};

void TestEtatFenetre::initTestCase()
{
    Q_INIT_RESOURCE(nuvola);
}

void TestEtatFenetre::init()
{
    m_donnees = std::make_unique<DossierDonneesTemporaire>();
    QVERIFY(m_donnees->estValide());
}

void TestEtatFenetre::cleanup()
{
    retablirTrayDisponible();
    m_donnees.reset();
}

// Rows for both branches; "platform" keeps the desktop's own answer.
void TestEtatFenetre::colonnesTray()
{
    QTest::addColumn<int>("forcage");
    QTest::newRow("tray available") << 1;
    QTest::newRow("no tray") << 0;
    QTest::newRow("platform") << -1;
}

void TestEtatFenetre::appliquerTray()
{
    QFETCH(int, forcage);
    if (forcage >= 0)
        forcerTrayDisponible(forcage == 1);
    QCOMPARE(trayDisponible(),
             forcage >= 0 ? forcage == 1 : QSystemTrayIcon::isSystemTrayAvailable());
}

void TestEtatFenetre::ecrireMinimise(int valeur)
{
    QSettings reglages(m_donnees->fichierIni(), QSettings::IniFormat);
    reglages.setValue(QStringLiteral("Config/MiniChck"), valeur);
    reglages.sync();
    QCOMPARE(reglages.status(), QSettings::NoError);
}

void TestEtatFenetre::demarrageMinimise_data()
{
    colonnesTray();
}

void TestEtatFenetre::demarrageMinimise()
{
    appliquerTray();
    ecrireMinimise(1);
    const bool tray = trayDisponible();

    FenPrincipale fenetre;
    QAction *agrandir = actionNommee(&fenetre, QStringLiteral("Agrandir"));
    QAction *reduire = actionNommee(&fenetre, QStringLiteral("Réduire"));
    QVERIFY(agrandir);
    QVERIFY(reduire);

    QVERIFY(fenetre.isMinimized());
    QVERIFY(agrandir->isEnabled());
    QVERIFY(!reduire->isEnabled());
    // With a tray the window is gone; without one it waits on the task bar,
    // where the user can bring it back.
    QCOMPARE(fenetre.isVisible(), !tray);

    agrandir->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isVisible(), 5000);
    QVERIFY(!fenetre.isMinimized());
    QCOMPARE(fenetre.size(), QSize(350, 430));
    QVERIFY(!agrandir->isEnabled());
    QVERIFY(reduire->isEnabled());
}

void TestEtatFenetre::demarrageNormal_data()
{
    QTest::addColumn<int>("forcage");
    QTest::addColumn<bool>("ecrireFichier");
    QTest::newRow("no settings file, tray") << 1 << false;
    QTest::newRow("no settings file, no tray") << 0 << false;
    QTest::newRow("option unchecked, tray") << 1 << true;
}

void TestEtatFenetre::demarrageNormal()
{
    appliquerTray();
    QFETCH(bool, ecrireFichier);
    if (ecrireFichier)
        ecrireMinimise(0);

    FenPrincipale fenetre;
    QAction *agrandir = actionNommee(&fenetre, QStringLiteral("Agrandir"));
    QAction *reduire = actionNommee(&fenetre, QStringLiteral("Réduire"));
    QVERIFY(agrandir);
    QVERIFY(reduire);

    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isVisible(), 5000);
    QVERIFY(!fenetre.isMinimized());
    QCOMPARE(fenetre.size(), QSize(350, 430));
    QVERIFY(!agrandir->isEnabled());
    QVERIFY(reduire->isEnabled());
}

void TestEtatFenetre::reduireDepuisAffichee_data()
{
    colonnesTray();
}

void TestEtatFenetre::reduireDepuisAffichee()
{
    appliquerTray();
    const bool tray = trayDisponible();
    FenPrincipale fenetre;
    QAction *agrandir = actionNommee(&fenetre, QStringLiteral("Agrandir"));
    QAction *reduire = actionNommee(&fenetre, QStringLiteral("Réduire"));
    QVERIFY(agrandir);
    QVERIFY(reduire);
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isVisible(), 5000);

    reduire->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isMinimized(), 5000);
    QCOMPARE(fenetre.isVisible(), !tray);
    QVERIFY(agrandir->isEnabled());
    QVERIFY(!reduire->isEnabled());

    // Back and forth twice: the states do not drift.
    agrandir->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isVisible() && !fenetre.isMinimized(), 5000);
    reduire->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isMinimized(), 5000);
    QCOMPARE(fenetre.isVisible(), !tray);
    agrandir->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isVisible() && !fenetre.isMinimized(), 5000);
    QCOMPARE(fenetre.size(), QSize(350, 430));
}

void TestEtatFenetre::minimiseParBarreDeTitre_data()
{
    colonnesTray();
}

void TestEtatFenetre::minimiseParBarreDeTitre()
{
    appliquerTray();
    const bool tray = trayDisponible();
    FenPrincipale fenetre;
    QAction *agrandir = actionNommee(&fenetre, QStringLiteral("Agrandir"));
    QAction *reduire = actionNommee(&fenetre, QStringLiteral("Réduire"));
    QVERIFY(agrandir);
    QVERIFY(reduire);
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isVisible(), 5000);

    // What the title-bar control asks of the window.
    fenetre.setWindowState(fenetre.windowState() | Qt::WindowMinimized);
    QTRY_VERIFY_WITH_TIMEOUT(fenetre.isMinimized(), 5000);
    QVERIFY(fenetre.isVisible());
    QVERIFY(!agrandir->isEnabled());
    QVERIFY(reduire->isEnabled());

    reduire->trigger();
    QCOMPARE(fenetre.isVisible(), !tray);
    QVERIFY(fenetre.isMinimized());
    QVERIFY(agrandir->isEnabled());
    QVERIFY(!reduire->isEnabled());
}

void TestEtatFenetre::horlogeAvantPremierTransfert()
{
    FenPrincipale fenetre;
    const auto etiquettes = fenetre.statusBar()->findChildren<QLabel *>();
    QCOMPARE(etiquettes.size(), 1);
    QLabel *horloge = etiquettes.first();
    // Nothing fills the clock before a run has ticked it.
    QVERIFY(horloge->text().isEmpty());

    fenetre.UpdateHorloge();
    QCOMPARE(horloge->text(), QStringLiteral("00:00"));
}

QTEST_MAIN(TestEtatFenetre)
#include "tst_windowstate.moc"
