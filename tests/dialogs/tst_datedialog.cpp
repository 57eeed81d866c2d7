#include "app/fenprincipale.h"
#include "config/datecomparaison.h"
#include "dialogtestutil.h"

#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimeEdit>

#include <limits>
#include <memory>
#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// A fixed zone west of Greenwich with daylight saving, so that the epoch falls
// on the previous local day and the daylight-saving gap exists.
const char zoneDeTest[] = "EST5EDT,M3.2.0,M11.1.0";

QLabel *etiquetteInformation(QWidget *dialogue)
{
    const auto etiquettes = dialogue->findChildren<QLabel *>();
    for (QLabel *etiquette : etiquettes) {
        if (etiquette->text().startsWith(QStringLiteral("Dernier transfert")))
            return etiquette;
    }
    return nullptr;
}

bool estDialogueDate(QWidget *w)
{
    return qobject_cast<QDialog *>(w) && w->windowTitle() == QStringLiteral("Date de comparaison");
}

} // namespace

class TestDialogueDate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void jamais_data();
    void jamais();
    void dernierTransfert_data();
    void dernierTransfert();
    void aspect();
    void okSansChangement();
    void okDateChoisie_data();
    void okDateChoisie();
    void rienStocke_data();
    void rienStocke();
    void bornesDuChamp();
    void compteBorne_data();
    void compteBorne();
    void compteStocke_data();
    void compteStocke();

private:
    void stocker(const QString &valeur);
    std::optional<QString> valeurStockee();
    // Opens the dialog, lets `agir` work on it, and returns the label's text.
    QString ouvrir(FenPrincipale &fenetre, std::function<void(QDialog *)> agir);

    std::unique_ptr<DossierDonneesTemporaire> m_donnees;
};

void TestDialogueDate::initTestCase()
{
    Q_INIT_RESOURCE(nuvola);
    QCOMPARE(QDateTime::fromSecsSinceEpoch(0).offsetFromUtc(), -5 * 3600);
}

void TestDialogueDate::init()
{
    m_donnees = std::make_unique<DossierDonneesTemporaire>();
    QVERIFY(m_donnees->estValide());
}

void TestDialogueDate::cleanup()
{
    m_donnees.reset();
}

void TestDialogueDate::stocker(const QString &valeur)
{
    QSettings reglages(m_donnees->fichierIni(), QSettings::IniFormat);
    reglages.setValue(QStringLiteral("Config/Date"), valeur);
    reglages.sync();
    QCOMPARE(reglages.status(), QSettings::NoError);
}

std::optional<QString> TestDialogueDate::valeurStockee()
{
    QSettings reglages(m_donnees->fichierIni(), QSettings::IniFormat);
    if (!reglages.contains(QStringLiteral("Config/Date")))
        return std::nullopt;
    return reglages.value(QStringLiteral("Config/Date")).toString();
}

QString TestDialogueDate::ouvrir(FenPrincipale &fenetre, std::function<void(QDialog *)> agir)
{
    QString texte;
    auto vu = quandModal(estDialogueDate, [&](QWidget *w) {
        auto *dialogue = static_cast<QDialog *>(w);
        if (QLabel *etiquette = etiquetteInformation(dialogue))
            texte = etiquette->text();
        agir(dialogue);
    });
    fenetre.modifDate();
    if (!*vu)
        return QStringLiteral("<dialog never shown>");
    return texte;
}

static void cliquer(QDialog *dialogue, const QString &texte)
{
    QPushButton *bouton = boutonNomme<QPushButton>(dialogue, texte);
    if (bouton)
        QTest::mouseClick(bouton, Qt::LeftButton);
    else
        dialogue->reject();
}

void TestDialogueDate::jamais_data()
{
    QTest::addColumn<std::optional<QString>>("stocke");
    QTest::newRow("no settings file") << std::optional<QString>();
    QTest::newRow("zero") << std::optional<QString>(QStringLiteral("0"));
    QTest::newRow("not a number") << std::optional<QString>(QStringLiteral("hier"));
    QTest::newRow("negative") << std::optional<QString>(QStringLiteral("-5"));
    QTest::newRow("empty") << std::optional<QString>(QString());
    QTest::newRow("low 32 bits are zero") << std::optional<QString>(QStringLiteral("4294967296"));
}

void TestDialogueDate::jamais()
{
    QFETCH(std::optional<QString>, stocke);
    if (stocke)
        stocker(*stocke);
    FenPrincipale fenetre;
    const QString texte =
        ouvrir(fenetre, [](QDialog *d) { cliquer(d, QStringLiteral("Annuler")); });
    QCOMPARE(texte, QStringLiteral("Dernier transfert: jamais"));
    QCOMPARE(valeurStockee(), stocke);
}

void TestDialogueDate::dernierTransfert_data()
{
    QTest::addColumn<qlonglong>("compte");
    QTest::addColumn<QString>("attendu");
    QTest::newRow("winter afternoon")
        << qlonglong(1796670300) << QStringLiteral("Dernier transfert: le 07/12/2026 à 14:05");
    QTest::newRow("summer time, seconds not shown")
        << qlonglong(1719840615) << QStringLiteral("Dernier transfert: le 01/07/2024 à 09:30");
    QTest::newRow("one second after the epoch")
        << qlonglong(1) << QStringLiteral("Dernier transfert: le 31/12/1969 à 19:00");
    QTest::newRow("last count") << qlonglong(4294967295LL)
                                << QStringLiteral("Dernier transfert: le 07/02/2106 à 01:28");
}

void TestDialogueDate::dernierTransfert()
{
    QFETCH(qlonglong, compte);
    QFETCH(QString, attendu);
    FenPrincipale fenetre;
    // Stored the way a successful run stores it.
    fenetre.WriteIniLastSuccessTransfert(compte);
    QCOMPARE(valeurStockee(), std::optional<QString>(QString::number(compte)));
    const QString texte = ouvrir(fenetre, [](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); });
    QCOMPARE(texte, attendu);
}

void TestDialogueDate::aspect()
{
    stocker(QStringLiteral("1796670300"));
    FenPrincipale fenetre;
    const QDateTime avant = QDateTime::currentDateTime();
    QDate date;
    QTime heure;
    QString format;
    QSize taille;
    Qt::WindowModality modalite = Qt::NonModal;
    bool calendrier = true;
    ouvrir(fenetre, [&](QDialog *d) {
        if (auto *champ = d->findChild<QDateEdit *>()) {
            date = champ->date();
            calendrier = champ->calendarPopup();
        }
        if (auto *champ = d->findChild<QTimeEdit *>()) {
            heure = champ->time();
            format = champ->displayFormat();
        }
        taille = d->size();
        modalite = d->windowModality();
        cliquer(d, QStringLiteral("Annuler"));
    });
    const QDateTime apres = QDateTime::currentDateTime();
    // The fields open on the present, never on the stored value.
    const QDateTime ouvert(date, heure);
    QVERIFY2(ouvert >= avant.addMSecs(-1) && ouvert <= apres, qPrintable(ouvert.toString()));
    QCOMPARE(format, QStringLiteral("hh:mm"));
    QVERIFY(!calendrier);
    QCOMPARE(taille, QSize(250, 100));
    QCOMPARE(modalite, Qt::WindowModal);
}

void TestDialogueDate::okSansChangement()
{
    stocker(QStringLiteral("1796670300"));
    FenPrincipale fenetre;
    const qint64 avant = QDateTime::currentSecsSinceEpoch();
    ouvrir(fenetre, [](QDialog *d) { cliquer(d, QStringLiteral("OK")); });
    const qint64 apres = QDateTime::currentSecsSinceEpoch();
    const std::optional<QString> stocke = valeurStockee();
    QVERIFY(stocke);
    bool ok = false;
    const qint64 compte = stocke->toLongLong(&ok);
    QVERIFY(ok);
    // The seconds of the opening moment are kept although the field hides them.
    QVERIFY2(compte >= avant && compte <= apres,
             qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(compte).arg(avant).arg(apres)));

    // Reopening shows the moment just stored.
    const QString texte =
        ouvrir(fenetre, [](QDialog *d) { cliquer(d, QStringLiteral("Annuler")); });
    QCOMPARE(texte, QStringLiteral("Dernier transfert: le ") +
                        QDateTime::fromSecsSinceEpoch(compte).toString(
                            QStringLiteral("dd/MM/yyyy 'à' hh:mm")));
}

void TestDialogueDate::okDateChoisie_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("heure");
    QTest::addColumn<qlonglong>("attendu");
    QTest::addColumn<QString>("libelle");
    QTest::newRow("winter") << QDate(2024, 1, 15) << QTime(8, 30) << qlonglong(1705325400)
                            << QStringLiteral("Dernier transfert: le 15/01/2024 à 08:30");
    QTest::newRow("summer with seconds")
        << QDate(2024, 7, 1) << QTime(9, 30, 15) << qlonglong(1719840615)
        << QStringLiteral("Dernier transfert: le 01/07/2024 à 09:30");
    QTest::newRow("time skipped by the clock change")
        << QDate(2024, 3, 10) << QTime(2, 30) << qlonglong(1710055800)
        << QStringLiteral("Dernier transfert: le 10/03/2024 à 03:30");
    QTest::newRow("midnight") << QDate(2026, 12, 7) << QTime(0, 0) << qlonglong(1796619600)
                              << QStringLiteral("Dernier transfert: le 07/12/2026 à 00:00");
}

void TestDialogueDate::okDateChoisie()
{
    QFETCH(QDate, date);
    QFETCH(QTime, heure);
    QFETCH(qlonglong, attendu);
    QFETCH(QString, libelle);
    FenPrincipale fenetre;
    ouvrir(fenetre, [&](QDialog *d) {
        auto *champDate = d->findChild<QDateEdit *>();
        auto *champHeure = d->findChild<QTimeEdit *>();
        if (champDate && champHeure) {
            champDate->setDate(date);
            champHeure->setTime(heure);
        }
        cliquer(d, QStringLiteral("OK"));
    });
    QCOMPARE(valeurStockee(), std::optional<QString>(QString::number(attendu)));
    const QString texte =
        ouvrir(fenetre, [](QDialog *d) { cliquer(d, QStringLiteral("Annuler")); });
    QCOMPARE(texte, libelle);
}

void TestDialogueDate::rienStocke_data()
{
    QTest::addColumn<int>("fin");
    QTest::addColumn<std::optional<QString>>("stocke");
    QTest::newRow("Annuler, stored value")
        << 0 << std::optional<QString>(QStringLiteral("1700000000"));
    QTest::newRow("Escape, stored value")
        << 1 << std::optional<QString>(QStringLiteral("1700000000"));
    QTest::newRow("window closed, stored value")
        << 2 << std::optional<QString>(QStringLiteral("1700000000"));
    QTest::newRow("Annuler, no key") << 0 << std::optional<QString>();
    QTest::newRow("Escape, no key") << 1 << std::optional<QString>();
}

void TestDialogueDate::rienStocke()
{
    QFETCH(int, fin);
    QFETCH(std::optional<QString>, stocke);
    if (stocke)
        stocker(*stocke);
    FenPrincipale fenetre;
    bool ferme = false;
    ouvrir(fenetre, [&](QDialog *d) {
        if (auto *champ = d->findChild<QDateEdit *>())
            champ->setDate(QDate(2020, 5, 5));
        if (auto *champ = d->findChild<QTimeEdit *>())
            champ->setTime(QTime(1, 2));
        switch (fin) {
        case 0:
            cliquer(d, QStringLiteral("Annuler"));
            break;
        case 1:
            QTest::keyClick(d, Qt::Key_Escape);
            break;
        default:
            d->close();
            break;
        }
        ferme = true;
    });
    QVERIFY(ferme);
    QCOMPARE(valeurStockee(), stocke);
}

void TestDialogueDate::bornesDuChamp()
{
    FenPrincipale fenetre;
    QDate minimum;
    QDate maximum;
    QDate apresMaximum;
    QDate avantMinimum;
    ouvrir(fenetre, [&](QDialog *d) {
        if (auto *champ = d->findChild<QDateEdit *>()) {
            minimum = champ->minimumDate();
            maximum = champ->maximumDate();
            champ->setDate(QDate(2200, 1, 1));
            apresMaximum = champ->date();
            champ->setDate(QDate(1900, 1, 1));
            avantMinimum = champ->date();
        }
        cliquer(d, QStringLiteral("Annuler"));
    });
    QCOMPARE(minimum, QDate(1969, 12, 31));
    QCOMPARE(maximum, QDate(2106, 2, 7));
    QCOMPARE(apresMaximum, QDate(2106, 2, 7));
    QCOMPARE(avantMinimum, QDate(1969, 12, 31));
}

void TestDialogueDate::compteBorne_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("heure");
    QTest::addColumn<qlonglong>("attendu");
    QTest::newRow("first day, before the epoch")
        << QDate(1969, 12, 31) << QTime(0, 0) << qlonglong(0);
    QTest::newRow("first day, at the epoch") << QDate(1969, 12, 31) << QTime(19, 0) << qlonglong(0);
    QTest::newRow("first day, after the epoch")
        << QDate(1969, 12, 31) << QTime(23, 59) << qlonglong(17940);
    QTest::newRow("last day, before the end")
        << QDate(2106, 2, 7) << QTime(1, 28) << qlonglong(4294967280LL);
    QTest::newRow("last day, past the end")
        << QDate(2106, 2, 7) << QTime(23, 59) << qlonglong(4294967295LL);
}

void TestDialogueDate::compteBorne()
{
    QFETCH(QDate, date);
    QFETCH(QTime, heure);
    QFETCH(qlonglong, attendu);
    FenPrincipale fenetre;
    ouvrir(fenetre, [&](QDialog *d) {
        auto *champDate = d->findChild<QDateEdit *>();
        auto *champHeure = d->findChild<QTimeEdit *>();
        if (champDate && champHeure) {
            champDate->setDate(date);
            champHeure->setTime(heure);
        }
        cliquer(d, QStringLiteral("OK"));
    });
    QCOMPARE(valeurStockee(), std::optional<QString>(QString::number(attendu)));
}

void TestDialogueDate::compteStocke_data()
{
    QTest::addColumn<QString>("texte");
    QTest::addColumn<quint32>("attendu");
    QTest::newRow("plain") << QStringLiteral("1700000000") << quint32(1700000000u);
    QTest::newRow("largest") << QStringLiteral("4294967295") << quint32(4294967295u);
    QTest::newRow("above 32 bits keeps the low bits") << QStringLiteral("4294967297") << quint32(1);
    QTest::newRow("letters") << QStringLiteral("12ab") << quint32(0);
    QTest::newRow("negative") << QStringLiteral("-1") << quint32(0);
    QTest::newRow("empty") << QString() << quint32(0);
}

void TestDialogueDate::compteStocke()
{
    QFETCH(QString, texte);
    QFETCH(quint32, attendu);
    QCOMPARE(compteDateStocke(QVariant(texte)), attendu);
}

int main(int argc, char *argv[])
{
    qputenv("TZ", zoneDeTest);
    QApplication application(argc, argv);
    TestDialogueDate test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datedialog.moc"
