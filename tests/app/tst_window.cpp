#include "app/fenprincipale.h"
#include "app/systemtray.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <memory>

namespace {

QString iniPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Nuvola.ini");
}

QStringList actionTexts(const QMenu *menu)
{
    QStringList textes;
    const auto actions = menu->actions();
    for (const QAction *a : actions)
        textes << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return textes;
}

QFormLayout *form(FenPrincipale &fen)
{
    return fen.centralWidget()->findChild<QFormLayout *>();
}

// The field of a form row: the widget itself, or the first widget of its row layout.
QWidget *fieldOfRow(FenPrincipale &fen, const QString &label, int index = 0)
{
    QFormLayout *f = form(fen);
    for (int r = 0; r < f->rowCount(); ++r) {
        auto *l = qobject_cast<QLabel *>(f->itemAt(r, QFormLayout::LabelRole)->widget());
        if (!l || l->text() != label)
            continue;
        QLayoutItem *champ = f->itemAt(r, QFormLayout::FieldRole);
        if (champ->widget())
            return champ->widget();
        return champ->layout()->itemAt(index)->widget();
    }
    return nullptr;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_data;

private slots:
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        QVERIFY(m_data->isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
    }

    void titleAndFixedSize()
    {
        FenPrincipale fen;
        QCOMPARE(fen.windowTitle(), QStringLiteral("Nuvola 1.8"));
        QCOMPARE(fen.size(), QSize(350, 430));
        QCOMPARE(fen.minimumSize(), QSize(350, 430));
        QCOMPARE(fen.maximumSize(), QSize(350, 430));
    }

    void menusInOrder()
    {
        FenPrincipale fen;
        const auto menus = fen.menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus.at(0)->text(), QStringLiteral("&Fichier"));
        QCOMPARE(menus.at(1)->text(), QStringLiteral("Options"));
        QCOMPARE(menus.at(2)->text(), QStringLiteral("?"));
        QCOMPARE(actionTexts(menus.at(0)->menu()),
                 (QStringList{QStringLiteral("&Transférer"), QStringLiteral("|"),
                              QStringLiteral("&Quitter")}));
        const QMenu *options = menus.at(1)->menu();
        QCOMPARE(actionTexts(options),
                 (QStringList{QStringLiteral("Démarrer minimisé"),
                              QStringLiteral("Exclure années précédentes"),
                              QStringLiteral("Connexion sécurisée (FTPS)"),
                              QStringLiteral("Exclure des fichiers..."), QStringLiteral("|"),
                              QStringLiteral("Modifier date comparaison...")}));
        QVERIFY(options->actions().at(0)->isCheckable());
        QVERIFY(options->actions().at(1)->isCheckable());
        QVERIFY(options->actions().at(2)->isCheckable());
        QVERIFY(!options->actions().at(2)->isChecked());
        QVERIFY(!options->actions().at(3)->isCheckable());
        QCOMPARE(actionTexts(menus.at(2)->menu()), QStringList{QStringLiteral("A propos de...")});
        for (const QAction *a : fen.findChildren<QAction *>())
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->text()));
    }

    void formRowsInOrder()
    {
        FenPrincipale fen;
        QFormLayout *f = form(fen);
        QVERIFY(f);
        QStringList labels;
        for (int r = 0; r < f->rowCount(); ++r)
            labels
                << qobject_cast<QLabel *>(f->itemAt(r, QFormLayout::LabelRole)->widget())->text();
        QCOMPARE(
            labels,
            (QStringList{QStringLiteral("Serveur :"), QStringLiteral("Utilisateur :"),
                         QStringLiteral("Mot de passe :"), QStringLiteral("Dossier serveur :"),
                         QStringLiteral("Dossier local :"), QStringLiteral("Mode ascii :"),
                         QStringLiteral("Mode binaire :"), QStringLiteral("Dossier à exclure :")}));
        auto *labelPort = qobject_cast<QLabel *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 1));
        QVERIFY(labelPort);
        QCOMPARE(labelPort->text(), QStringLiteral("Port :"));
        auto *bouton =
            qobject_cast<QPushButton *>(fieldOfRow(fen, QStringLiteral("Dossier local :"), 1));
        QVERIFY(bouton);
        QCOMPARE(bouton->text(), QStringLiteral("..."));
        QCOMPARE(bouton->maximumWidth(), 30);
        QCOMPARE(fieldOfRow(fen, QStringLiteral("Utilisateur :"))->maximumWidth(), 120);
        QCOMPARE(fieldOfRow(fen, QStringLiteral("Dossier à exclure :"))->toolTip(),
                 QStringLiteral("Chemin à partir du dossier local\nEx: html;html/2007;"));
    }

    void portBox_data()
    {
        QTest::addColumn<int>("saisie");
        QTest::addColumn<int>("attendu");
        QTest::newRow("lowest") << 0 << 0;
        QTest::newRow("ftp") << 21 << 21;
        QTest::newRow("highest port") << 65535 << 65535;
        QTest::newRow("beyond 16 bits is clamped") << 70000 << 65535;
        QTest::newRow("old upper bound is clamped") << 100000 << 65535;
        QTest::newRow("negative is clamped") << -1 << 0;
    }
    void portBox()
    {
        QFETCH(int, saisie);
        QFETCH(int, attendu);
        FenPrincipale fen;
        auto *box = qobject_cast<QSpinBox *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 2));
        QVERIFY(box);
        QCOMPARE(box->buttonSymbols(), QAbstractSpinBox::NoButtons);
        QVERIFY(box->alignment() & Qt::AlignRight);
        QCOMPARE(box->minimumWidth(), 40);
        box->setValue(saisie);
        QCOMPARE(box->value(), attendu);
    }

    void storedPortOutOfRangeIsClamped()
    {
        {
            QSettings s(iniPath(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/Port"), 70000);
        }
        FenPrincipale fen;
        auto *box = qobject_cast<QSpinBox *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 2));
        QCOMPARE(box->value(), 65535);
    }

    void passwordMaskedAndNoContextMenus()
    {
        FenPrincipale fen;
        auto *mdp = qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Mot de passe :")));
        QVERIFY(mdp);
        QCOMPARE(mdp->echoMode(), QLineEdit::Password);
        QCOMPARE(mdp->maximumWidth(), 120);
        const auto champs = fen.centralWidget()->findChildren<QLineEdit *>();
        QVERIFY(champs.size() >= 9);
        for (const QLineEdit *c : champs) {
            if (c->parentWidget() && qobject_cast<QSpinBox *>(c->parentWidget()))
                continue; // the spin box's own editor: the box carries the policy
            QCOMPARE(c->contextMenuPolicy(), Qt::NoContextMenu);
        }
        QCOMPARE(fen.findChild<QSpinBox *>()->contextMenuPolicy(), Qt::NoContextMenu);
        auto *journal = fen.findChild<QTextEdit *>();
        QVERIFY(journal->isReadOnly());
        QCOMPARE(journal->contextMenuPolicy(), Qt::NoContextMenu);
        QCOMPARE(journal->maximumHeight(), 160);
    }

    void buttonProgressStatusAndTray()
    {
        FenPrincipale fen;
        const auto boutons = fen.centralWidget()->findChildren<QPushButton *>();
        QStringList textes;
        for (const QPushButton *b : boutons)
            textes << b->text();
        QVERIFY(textes.contains(QStringLiteral("Transférer")));
        QCOMPARE(fen.findChild<QProgressBar *>()->minimumWidth(), 350);
        QVERIFY(fen.statusBar()->currentMessage().isEmpty());
        auto *tray = fen.findChild<QSystemTrayIcon *>();
        QVERIFY(tray);
        QCOMPARE(tray->isVisible(), trayDisponible());
        QVERIFY(!tray->icon().isNull());
        QVERIFY(tray->toolTip().isEmpty());
        QCOMPARE(actionTexts(tray->contextMenu()),
                 (QStringList{QStringLiteral("Agrandir"), QStringLiteral("Réduire"),
                              QStringLiteral("|"), QStringLiteral("&Quitter")}));
        // One quit action, shared by the file menu and the tray menu.
        const QAction *quitterFichier = fen.menuBar()->actions().at(0)->menu()->actions().at(2);
        QCOMPARE(tray->contextMenu()->actions().at(3), quitterFichier);
    }

    void trayIconShownOnlyWhereATrayExists_data()
    {
        QTest::addColumn<bool>("disponible");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }
    void trayIconShownOnlyWhereATrayExists()
    {
        QFETCH(bool, disponible);
        forcerTrayDisponible(disponible);
        FenPrincipale fen;
        retablirTrayDisponible();
        QCOMPARE(fen.findChild<QSystemTrayIcon *>()->isVisible(), disponible);
    }

    void firstStartShowsDefaultsAndCreatesNoFile()
    {
        QVERIFY(!QFileInfo::exists(iniPath()));
        FenPrincipale fen;
        QCOMPARE(
            qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Utilisateur :")))->text(),
            QStringLiteral("user"));
        QCOMPARE(qobject_cast<QSpinBox *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 2))->value(),
                 21);
        const auto options = fen.menuBar()->actions().at(1)->menu()->actions();
        QVERIFY(!options.at(0)->isChecked());
        QVERIFY(!options.at(1)->isChecked());
        QVERIFY2(!QFileInfo::exists(iniPath()), "a start must not create the settings file");
    }

    void settingsFillTheForm()
    {
        {
            QSettings s(iniPath(), QSettings::IniFormat);
            s.beginGroup(QStringLiteral("Config"));
            s.setValue(QStringLiteral("ExcAnPrec"), 1);
            s.setValue(QStringLiteral("Serveur"), QStringLiteral("ftp.station.test"));
            s.setValue(QStringLiteral("Port"), QStringLiteral("2121"));
            s.setValue(QStringLiteral("Pass"), QStringLiteral("a;b=c,d"));
            s.setValue(QStringLiteral("DosLocal"), QStringLiteral("/srv/météo"));
        }
        FenPrincipale fen;
        QCOMPARE(qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 0))->text(),
                 QStringLiteral("ftp.station.test"));
        QCOMPARE(qobject_cast<QSpinBox *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 2))->value(),
                 2121);
        QCOMPARE(
            qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Mot de passe :")))->text(),
            QStringLiteral("a;b=c,d"));
        QCOMPARE(qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Dossier local :"), 0))
                     ->text(),
                 QStringLiteral("/srv/météo"));
        QVERIFY(fen.menuBar()->actions().at(1)->menu()->actions().at(1)->isChecked());
    }

    void quitInteractiveSavesTheFormAndKeepsDate()
    {
        {
            QSettings s(iniPath(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/Date"), 1355000000);
        }
        FenPrincipale fen;
        qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Utilisateur :")))
            ->setText(QStringLiteral("pierre"));
        qobject_cast<QSpinBox *>(fieldOfRow(fen, QStringLiteral("Serveur :"), 2))->setValue(990);
        fen.menuBar()->actions().at(1)->menu()->actions().at(0)->setChecked(true);
        fen.Quitter();
        QSettings s(iniPath(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Utilisateur")).toString(),
                 QStringLiteral("pierre"));
        QCOMPARE(s.value(QStringLiteral("Config/Port")).toString(), QStringLiteral("990"));
        QCOMPARE(s.value(QStringLiteral("Config/MiniChck")).toInt(), 1);
        QCOMPARE(s.value(QStringLiteral("Config/Date")).toString(), QStringLiteral("1355000000"));
        // The form's keys, FTPS among them, and the date.
        QCOMPARE(s.allKeys().size(), 13);
        QCOMPARE(s.value(QStringLiteral("Config/FTPS")).toString(), QStringLiteral("0"));
    }

    void closeButtonQuitsAndSaves()
    {
        FenPrincipale fen;
        fen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fen));
        qobject_cast<QLineEdit *>(fieldOfRow(fen, QStringLiteral("Dossier serveur :")))
            ->setText(QStringLiteral("public_html"));
        fen.close();
        QSettings s(iniPath(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/DosServeur")).toString(),
                 QStringLiteral("public_html"));
    }

    void togglingOptionsHasNoImmediateEffect()
    {
        FenPrincipale fen;
        const auto options = fen.menuBar()->actions().at(1)->menu()->actions();
        options.at(0)->trigger();
        options.at(1)->trigger();
        QVERIFY(options.at(0)->isChecked());
        QVERIFY(!QFileInfo::exists(iniPath()));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
