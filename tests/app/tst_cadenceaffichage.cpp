#include "app/cadenceaffichage.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <functional>

namespace {

// Counts a widget's paints and remembers what the last one showed.
class CompteurPeintures : public QObject
{
public:
    CompteurPeintures(QWidget *peint, std::function<QString()> texte)
        : m_peint(peint), m_texte(std::move(texte))
    {
        peint->installEventFilter(this);
    }
    explicit CompteurPeintures(QLabel *label)
        : CompteurPeintures(label, [label] { return label->text(); })
    {
    }
    int peintures = 0;
    QString dernierTexte;

protected:
    bool eventFilter(QObject *objet, QEvent *evenement) override
    {
        if (objet == m_peint && evenement->type() == QEvent::Paint) {
            ++peintures;
            dernierTexte = m_texte();
        }
        return false;
    }

private:
    QWidget *m_peint;
    std::function<QString()> m_texte;
};

struct Fenetre
{
    QWidget fenetre;
    QLabel *label = new QLabel(QStringLiteral("début"), &fenetre);
    QLabel *autre = new QLabel(QStringLiteral("autre"), &fenetre);
    Fenetre()
    {
        auto *disposition = new QVBoxLayout(&fenetre);
        disposition->addWidget(label);
        disposition->addWidget(autre);
        fenetre.resize(200, 80);
        fenetre.show();
    }
};

} // namespace

class TestCadenceAffichage : public QObject
{
    Q_OBJECT

private slots:
    // However often the text changes, it is painted at the pace given, and
    // the last paint shows the last text.
    void paintsAtItsPace_data()
    {
        QTest::addColumn<int>("intervalle");
        QTest::addColumn<int>("dureeMs");
        QTest::newRow("20 a second") << 50 << 400;
        QTest::newRow("10 a second") << 100 << 500;
        QTest::newRow("pace longer than the changes") << 400 << 200;
    }
    void paintsAtItsPace()
    {
        QFETCH(int, intervalle);
        QFETCH(int, dureeMs);
        Fenetre f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.fenetre));
        QTest::qWait(20);
        CompteurPeintures compteur(f.label);
        int changements = 0;
        {
            const CadenceAffichage cadence({f.label}, intervalle);
            QVERIFY(!f.label->updatesEnabled());
            QVERIFY(f.autre->updatesEnabled());
            // A dialog opened meanwhile, a child of the window, paints as usual.
            QDialog dialogue(&f.fenetre);
            QVERIFY(dialogue.updatesEnabled());
            QElapsedTimer chrono;
            chrono.start();
            while (chrono.elapsed() < dureeMs) {
                f.label->setText(QString::number(++changements));
                QCoreApplication::processEvents();
            }
            QVERIFY2(changements > 50, "too few changes to tell");
            QVERIFY2(compteur.peintures <= dureeMs / intervalle + 2,
                     qPrintable(QString::number(compteur.peintures)));
            // Changes stop: the next beat shows the last one.
            QTRY_COMPARE_WITH_TIMEOUT(compteur.dernierTexte, QString::number(changements),
                                      qMax(1000, intervalle * 4));
        }
        QVERIFY(f.label->updatesEnabled());
        // Back to painting on each change.
        const int avant = compteur.peintures;
        f.label->setText(QStringLiteral("fin"));
        QTRY_VERIFY(compteur.peintures > avant);
        QCOMPARE(compteur.dernierTexte, QStringLiteral("fin"));
    }

    // A window (its dialogs would inherit the hold) and a widget someone
    // else holds back are left as they are, before and after.
    void leavesAlone_data()
    {
        QTest::addColumn<bool>("fenetre");
        QTest::newRow("window") << true;
        QTest::newRow("already held back") << false;
    }
    void leavesAlone()
    {
        QFETCH(bool, fenetre);
        Fenetre f;
        QWidget *cible = fenetre ? &f.fenetre : static_cast<QWidget *>(f.label);
        const bool avant = !fenetre;
        if (!fenetre)
            f.label->setUpdatesEnabled(false);
        {
            const CadenceAffichage cadence({cible}, 20);
            QCOMPARE(cible->updatesEnabled(), !avant);
            QTest::qWait(60);
            QCOMPARE(cible->updatesEnabled(), !avant);
            QDialog dialogue(&f.fenetre);
            QVERIFY(dialogue.updatesEnabled());
        }
        QCOMPARE(cible->updatesEnabled(), !avant);
    }

    // The log's text is painted by a child of the widget held back: the
    // child follows the same pace.
    void childrenFollowThePace()
    {
        QWidget fenetre;
        auto *journal = new QTextEdit(&fenetre);
        fenetre.resize(300, 200);
        journal->resize(300, 200);
        fenetre.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fenetre));
        QTest::qWait(20);
        CompteurPeintures compteur(journal->viewport(),
                                   [journal] { return journal->toPlainText(); });
        int lignes = 0;
        {
            const CadenceAffichage cadence({journal}, 50);
            QElapsedTimer chrono;
            chrono.start();
            while (chrono.elapsed() < 300) {
                journal->append(QString::number(++lignes));
                QCoreApplication::processEvents();
            }
            QVERIFY(compteur.peintures <= 300 / 50 + 2);
            QTRY_COMPARE_WITH_TIMEOUT(compteur.dernierTexte, journal->toPlainText(), 1000);
        }
        QVERIFY(lignes > 50);
        QVERIFY(journal->viewport()->updatesEnabled());
    }

    // A widget destroyed while held back is forgotten; the others go on.
    void widgetDestroyedMeanwhile()
    {
        Fenetre f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.fenetre));
        CompteurPeintures compteur(f.autre);
        QPointer<QLabel> label = f.label;
        {
            const CadenceAffichage cadence({f.label, f.autre}, 20);
            QVERIFY(!f.autre->updatesEnabled());
            delete f.label;
            f.autre->setText(QStringLiteral("changé"));
            QTRY_COMPARE(compteur.dernierTexte, QStringLiteral("changé"));
        }
        QVERIFY(label.isNull());
        QVERIFY(f.autre->updatesEnabled());
    }
};

QTEST_MAIN(TestCadenceAffichage)
#include "tst_cadenceaffichage.moc"
