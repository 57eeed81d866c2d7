#include "app/fenprincipale.h"
#include "dialogtestutil.h"

#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

class TestAPropos : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void contenu();
    void tailleBornee_data();
    void tailleBornee();
    void fermeture_data();
    void fermeture();
    void chaqueOuvertureNeuve();

private:
    QDialog *ouvrir(FenPrincipale &fenetre);
    std::unique_ptr<DossierDonneesTemporaire> m_donnees;
};

void TestAPropos::initTestCase()
{
    Q_INIT_RESOURCE(nuvola);
}

void TestAPropos::init()
{
    m_donnees = std::make_unique<DossierDonneesTemporaire>();
    QVERIFY(m_donnees->estValide());
}

void TestAPropos::cleanup()
{
    m_donnees.reset();
}

QDialog *TestAPropos::ouvrir(FenPrincipale &fenetre)
{
    const auto avant = fenetre.findChildren<QDialog *>();
    fenetre.fenetre_apropos();
    const auto apres = fenetre.findChildren<QDialog *>();
    for (QDialog *dialogue : apres) {
        if (!avant.contains(dialogue) && dialogue->isVisible())
            return dialogue;
    }
    return nullptr;
}

void TestAPropos::contenu()
{
    FenPrincipale fenetre;
    QDialog *dialogue = ouvrir(fenetre);
    QVERIFY(dialogue);
    QCOMPARE(dialogue->windowTitle(), QStringLiteral("A propos..."));
    QCOMPARE(dialogue->windowModality(), Qt::WindowModal);

    const auto etiquettes = dialogue->findChildren<QLabel *>();
    QCOMPARE(etiquettes.size(), 1);
    QLabel *texte = etiquettes.first();
    QCOMPARE(texte->textFormat(), Qt::RichText);
    QVERIFY(texte->openExternalLinks());
    QVERIFY(texte->text().startsWith(QStringLiteral("<p align='center'> <b>Nuvola 1.8</b></p>")));

    // What the label shows: the document made from its rich text.
    QTextDocument document;
    document.setHtml(texte->text());
    const QString affiche = document.toPlainText();
    QVERIFY2(!affiche.contains(QLatin1Char('<')), qPrintable(affiche));
    QTextBlock premier = document.firstBlock();
    QCOMPARE(premier.text().trimmed(), QStringLiteral("Nuvola 1.8"));
    QCOMPARE(premier.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QTextCursor curseur(premier);
    curseur.setPosition(premier.position() + premier.text().indexOf(QLatin1Char('N')) + 1);
    QCOMPARE(curseur.charFormat().fontWeight(), int(QFont::Bold));
    QVERIFY(affiche.contains(QStringLiteral("Logiciel réalisé par: ")));
    QVERIFY(affiche.contains(QStringLiteral("Site web: Nuvola")));

    // Both links are real anchors, the second one named "Nuvola".
    QStringList ancres;
    QStringList textesLiens;
    for (QTextBlock bloc = document.begin(); bloc != document.end(); bloc = bloc.next()) {
        for (auto it = bloc.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isAnchor()) {
                ancres << fragment.charFormat().anchorHref();
                textesLiens << fragment.text();
            }
        }
    }
    QCOMPARE(ancres.size(), 2);
    QVERIFY(ancres.at(0).startsWith(QStringLiteral("mailto:")));
    QVERIFY(!textesLiens.at(0).isEmpty());
    QCOMPARE(textesLiens.at(1), QStringLiteral("Nuvola"));
    QVERIFY(ancres.at(1).startsWith(QStringLiteral("https://")));

    QPushButton *ok = boutonNomme<QPushButton>(dialogue, QStringLiteral("OK"));
    QVERIFY(ok);
    QVERIFY(ok->maximumWidth() <= 70);
    QTRY_VERIFY_WITH_TIMEOUT(ok->width() <= 70 && ok->width() > 0, 5000);
}

void TestAPropos::tailleBornee_data()
{
    QTest::addColumn<QSize>("demande");
    QTest::newRow("much larger") << QSize(1000, 800);
    QTest::newRow("wider only") << QSize(600, 100);
    QTest::newRow("taller only") << QSize(200, 400);
}

void TestAPropos::tailleBornee()
{
    QFETCH(QSize, demande);
    FenPrincipale fenetre;
    QDialog *dialogue = ouvrir(fenetre);
    QVERIFY(dialogue);
    QVERIFY(dialogue->maximumWidth() <= 350);
    QVERIFY(dialogue->maximumHeight() <= 150);
    QVERIFY2(dialogue->width() <= 350 && dialogue->height() <= 150,
             qPrintable(QStringLiteral("%1x%2, layout wants %3x%4")
                            .arg(dialogue->width())
                            .arg(dialogue->height())
                            .arg(dialogue->layout()->minimumSize().width())
                            .arg(dialogue->layout()->minimumSize().height())));
    dialogue->resize(demande);
    QVERIFY(dialogue->width() <= 350);
    QVERIFY(dialogue->height() <= 150);
    // Bounded, not collapsed: the button still lies inside the box.
    QPushButton *ok = boutonNomme<QPushButton>(dialogue, QStringLiteral("OK"));
    QVERIFY(ok);
    QTRY_VERIFY_WITH_TIMEOUT(dialogue->rect().contains(ok->geometry()), 5000);
}

void TestAPropos::fermeture_data()
{
    QTest::addColumn<bool>("parEchap");
    QTest::newRow("OK button") << false;
    QTest::newRow("Escape key") << true;
}

void TestAPropos::fermeture()
{
    QFETCH(bool, parEchap);
    FenPrincipale fenetre;
    fenetre.show();
    QPointer<QDialog> dialogue = ouvrir(fenetre);
    QVERIFY(dialogue);
    QVERIFY(QTest::qWaitForWindowExposed(dialogue));
    if (parEchap) {
        QTest::keyClick(dialogue, Qt::Key_Escape);
    } else {
        QPushButton *ok = boutonNomme<QPushButton>(dialogue, QStringLiteral("OK"));
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(dialogue.isNull() || !dialogue->isVisible(), 5000);
}

void TestAPropos::chaqueOuvertureNeuve()
{
    FenPrincipale fenetre;
    QDialog *premier = ouvrir(fenetre);
    QVERIFY(premier);
    QPushButton *ok = boutonNomme<QPushButton>(premier, QStringLiteral("OK"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QDialog *second = ouvrir(fenetre);
    QVERIFY(second);
    QVERIFY(second != premier);
    QCOMPARE(second->windowTitle(), QStringLiteral("A propos..."));
}

QTEST_MAIN(TestAPropos)
#include "tst_about.moc"
