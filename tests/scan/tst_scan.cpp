#include "sanspassedroit.h"
#include "scan/lecteurdossiers.h"
#include "scan/localscan.h"
#include "testtree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

// 2012-06-15 12:00 local time: the year rule then skips 1995 to 2011.
qint64 milieu2012()
{
    return QDateTime(QDate(2012, 6, 15), QTime(12, 0)).toSecsSinceEpoch();
}

qint64 localSecs(int y, int m, int d, int h, int min, int s)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s)).toSecsSinceEpoch();
}

// Folder times decide the order of the walk; Qt cannot set them portably.
bool setDirMtime(const QString &path, qint64 secs)
{
#ifdef Q_OS_UNIX
    struct timespec t[2];
    t[0].tv_sec = t[1].tv_sec = time_t(secs);
    t[0].tv_nsec = t[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), t, 0) == 0;
#else
    Q_UNUSED(path)
    Q_UNUSED(secs)
    return false;
#endif
}

bool writeFileMsecs(const QString &path, qint64 msecs)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("x") != 1 || !f.flush() ||
        !f.setFileTime(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC),
                       QFileDevice::FileModificationTime))
        return false;
    f.close();
    return QFileInfo(path).lastModified().toMSecsSinceEpoch() == msecs;
}

EntreeListe entree(const QString &chemin, qint64 date)
{
    EntreeListe e;
    e.chemin = chemin;
    e.date = date;
    e.debutNom = int(chemin.lastIndexOf(QLatin1Char('/')) + 1);
    return e;
}

// One listing as text, so that a mismatch shows which entry differs.
QStringList texte(const ListeEntrees &liste)
{
    QStringList t;
    for (const EntreeListe &e : liste)
        t.append(QStringLiteral("%1 %2 %3 %4")
                     .arg(e.chemin)
                     .arg(e.date)
                     .arg(e.nom())
                     .arg(e.lien ? QStringLiteral("lien") : QString()));
    return t;
}

} // namespace

class TstScan : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void selection_data();
    void selection();
    void dossierExclu_data();
    void dossierExclu();
    void formeWindows_data();
    void formeWindows();
    void dossierExiste_data();
    void dossierExiste();

    void regles_data();
    void regles();
    void racineJamaisExclue();
    void racineFinSlash_data();
    void racineFinSlash();
    void antislash();
    void arretPrecoce();
    void ordreEnvoi();
    void ordreALaSeconde();
    void listeCoupee_data();
    void listeCoupee();
    void contenuEnUneLecture();
    void lecteurDossiers_data();
    void lecteurDossiers();
    void arbreLarge();
    void cachesEtSpeciaux();
    void liensFichiers();
    void liensDossiers();
    void bouclesLiens_data();
    void bouclesLiens();
    void racineAbsente();
    void dossiersIllisibles_data();
    void dossiersIllisibles();
    void racineVide();

private:
    QString chemin(const QString &relatif) const { return m_racine + QLatin1Char('/') + relatif; }
    void fichier(const QString &relatif, qint64 date)
    {
        QVERIFY2(writeFile(chemin(relatif), "x", date), qPrintable(relatif));
    }
    QStringList relatifs(const QStringList &envoi) const;

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_racine;
};

void TstScan::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_racine = m_tmp->path() + QStringLiteral("/racine");
    QVERIFY(makeDir(m_racine));
}

QStringList TstScan::relatifs(const QStringList &envoi) const
{
    QStringList r;
    const QString prefixe = m_racine + QLatin1Char('/');
    for (const QString &e : envoi)
        r.append(e.startsWith(prefixe) ? e.mid(prefixe.size()) : QStringLiteral("!") + e);
    return r;
}

// --- selection of one listing ---------------------------------------------

void TstScan::selection_data()
{
    QTest::addColumn<ListeEntrees>("liste");
    QTest::addColumn<quint32>("date");
    QTest::addColumn<QStringList>("exclus");
    QTest::addColumn<QStringList>("attendu");
    QTest::addColumn<int>("consultes");

    const QString a = QStringLiteral("/r/a.htm");
    const QString b = QStringLiteral("/r/html/mini_b.htm");
    const QString c = QStringLiteral("/r/html/c.htm");
    QTest::newRow("equal time not selected")
        << ListeEntrees{entree(a, 100)} << 100u << QStringList() << QStringList() << 1;
    QTest::newRow("one second newer selected")
        << ListeEntrees{entree(a, 101)} << 100u << QStringList() << QStringList{a} << 1;
    QTest::newRow("stops at first old entry")
        << ListeEntrees{entree(a, 200), entree(b, 50), entree(c, 300)} << 100u << QStringList()
        << QStringList{a} << 2;
    QTest::newRow("time 0 selects all") << ListeEntrees{entree(a, 9), entree(b, 1)} << 0u
                                        << QStringList() << QStringList{a, b} << 2;
    QTest::newRow("empty listing") << ListeEntrees() << 0u << QStringList() << QStringList() << 0;
    QTest::newRow("fragment excluded")
        << ListeEntrees{entree(b, 300), entree(c, 200)} << 100u
        << QStringList{QStringLiteral("mini_")} << QStringList{c} << 2;
    QTest::newRow("fragment is case-sensitive")
        << ListeEntrees{entree(b, 300), entree(c, 200)} << 100u
        << QStringList{QStringLiteral("MINI_")} << QStringList{b, c} << 2;
    QTest::newRow("full path excluded") << ListeEntrees{entree(b, 300), entree(c, 200)} << 100u
                                        << QStringList{c} << QStringList{b} << 2;
    QTest::newRow("longer than the path excludes nothing")
        << ListeEntrees{entree(c, 200)} << 100u << QStringList{c + QLatin1Char('x')}
        << QStringList{c} << 1;
    QTest::newRow("empty entry excludes all")
        << ListeEntrees{entree(b, 300), entree(c, 200)} << 100u
        << QStringList{QStringLiteral("zzz"), QString()} << QStringList() << 2;
    QTest::newRow("excluded entries do not stop the listing")
        << ListeEntrees{entree(b, 300), entree(c, 200), entree(a, 100)} << 100u
        << QStringList{QStringLiteral("mini_")} << QStringList{c} << 3;
    QTest::newRow("before 1970 never newer")
        << ListeEntrees{entree(a, -5)} << 0u << QStringList() << QStringList() << 1;
    QTest::newRow("after 2106 newer than any time")
        << ListeEntrees{entree(a, Q_INT64_C(5000000000))} << 0xffffffffu << QStringList()
        << QStringList{a} << 1;
}

void TstScan::selection()
{
    QFETCH(ListeEntrees, liste);
    QFETCH(quint32, date);
    QFETCH(QStringList, exclus);
    QFETCH(QStringList, attendu);
    QFETCH(int, consultes);

    QStringList envoi{QStringLiteral("deja")};
    QCOMPARE(selectionFichiers(liste, date, exclus, envoi, FormeNoms::posix()), consultes);
    QCOMPARE(envoi, QStringList{QStringLiteral("deja")} + attendu);
}

// --- folder rules -----------------------------------------------------------

void TstScan::dossierExclu_data()
{
    QTest::addColumn<QString>("relatif");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<bool>("annees");
    QTest::addColumn<quint32>("date");
    QTest::addColumn<bool>("attendu");

    const quint32 d2012 = quint32(milieu2012());
    const QString rien;
    QTest::newRow("1994 walked") << QStringLiteral("1994") << rien << true << d2012 << false;
    QTest::newRow("1995 skipped") << QStringLiteral("1995") << rien << true << d2012 << true;
    QTest::newRow("2011 skipped") << QStringLiteral("2011") << rien << true << d2012 << true;
    QTest::newRow("2012 walked") << QStringLiteral("2012") << rien << true << d2012 << false;
    QTest::newRow("2013 walked") << QStringLiteral("2013") << rien << true << d2012 << false;
    QTest::newRow("html/2010 walked")
        << QStringLiteral("html/2010") << rien << true << d2012 << false;
    QTest::newRow("2011/x walked") << QStringLiteral("2011/x") << rien << true << d2012 << false;
    QTest::newRow("02011 walked") << QStringLiteral("02011") << rien << true << d2012 << false;
    QTest::newRow("option off") << QStringLiteral("2000") << rien << false << d2012 << false;
    QTest::newRow("time 0 tests no year") << QStringLiteral("1995") << rien << true << 0u << false;
    QTest::newRow("first second of 2012, 2011 skipped")
        << QStringLiteral("2011") << rien << true << quint32(localSecs(2012, 1, 1, 0, 0, 0))
        << true;
    QTest::newRow("last second of 2011, 2011 walked")
        << QStringLiteral("2011") << rien << true << quint32(localSecs(2011, 12, 31, 23, 59, 59))
        << false;
    QTest::newRow("1996: only 1995 skipped") << QStringLiteral("1995") << rien << true
                                             << quint32(localSecs(1996, 3, 1, 0, 0, 0)) << true;
    QTest::newRow("1996: 1996 walked") << QStringLiteral("1996") << rien << true
                                       << quint32(localSecs(1996, 3, 1, 0, 0, 0)) << false;

    const QString liste = QStringLiteral("xxxx;www;");
    QTest::newRow("www at top skipped") << QStringLiteral("www") << liste << false << 0u << true;
    QTest::newRow("html/www walked") << QStringLiteral("html/www") << liste << false << 0u << false;
    QTest::newRow("first piece") << QStringLiteral("xxxx") << liste << false << 0u << true;
    QTest::newRow("piece is not a prefix") << QStringLiteral("ww") << liste << false << 0u << false;
    QTest::newRow("HTML does not skip html")
        << QStringLiteral("html") << QStringLiteral("HTML") << false << 0u << false;
    QTest::newRow("html/ skips nothing")
        << QStringLiteral("html") << QStringLiteral("html/") << false << 0u << false;
    QTest::newRow("html/2007 skips it")
        << QStringLiteral("html/2007") << QStringLiteral("html;html/2007;") << false << 0u << true;
    QTest::newRow("html/2007 alone: html walked")
        << QStringLiteral("html") << QStringLiteral("html/2007") << false << 0u << false;
    QTest::newRow("html/2007 alone: html/2007/x walked")
        << QStringLiteral("html/2007/x") << QStringLiteral("html/2007") << false << 0u << false;
    QTest::newRow("blank around piece")
        << QStringLiteral("www") << QStringLiteral(" www") << false << 0u << false;
    QTest::newRow("empty text") << QStringLiteral("www") << rien << false << 0u << false;
    QTest::newRow("pieces and years together")
        << QStringLiteral("www") << liste << true << d2012 << true;
}

void TstScan::dossierExclu()
{
    QFETCH(QString, relatif);
    QFETCH(QString, texte);
    QFETCH(bool, annees);
    QFETCH(quint32, date);
    QFETCH(bool, attendu);
    QCOMPARE(estDossierExclu(relatif, texte, annees, date, FormeNoms::posix()), attendu);
}

// The same rules where names ignore case and "\\" separates them too: an
// exclusion chosen in the file chooser carries the real case of the path,
// the scanned paths the case of the local folder as typed.
void TstScan::formeWindows_data()
{
    QTest::addColumn<bool>("dossier");
    QTest::addColumn<QString>("chemin");
    QTest::addColumn<QString>("regle");
    QTest::addColumn<bool>("excluPosix");
    QTest::addColumn<bool>("excluWindows");
    const QString chemin = QStringLiteral("c:/pluvio/html/images/mini_1.png");
    QTest::newRow("file chosen with its real case")
        << false << chemin << QStringLiteral("C:/Pluvio/html/images/mini_1.png") << false << true;
    QTest::newRow("filter in capitals")
        << false << chemin << QStringLiteral("MINI_") << false << true;
    QTest::newRow("filter typed with a backslash")
        << false << chemin << QStringLiteral("images\\mini_") << false << true;
    QTest::newRow("accented filter in capitals") << false << QStringLiteral("c:/pluvio/météo/a.htm")
                                                 << QStringLiteral("MÉTÉO/") << false << true;
    QTest::newRow("filter that is not in the path")
        << false << chemin << QStringLiteral("maxi_") << false << false;
    QTest::newRow("folder in capitals")
        << true << QStringLiteral("html") << QStringLiteral("archives;HTML") << false << true;
    QTest::newRow("nested folder typed with a backslash")
        << true << QStringLiteral("html/2007") << QStringLiteral("html\\2007") << false << true;
    QTest::newRow("nested folder, other case and backslash")
        << true << QStringLiteral("html/2007") << QStringLiteral("HTML\\2007;") << false << true;
    QTest::newRow("parent folder only")
        << true << QStringLiteral("html/2007") << QStringLiteral("HTML") << false << false;
    QTest::newRow("same spelling")
        << true << QStringLiteral("html") << QStringLiteral("html") << true << true;
}

void TstScan::formeWindows()
{
    QFETCH(bool, dossier);
    QFETCH(QString, chemin);
    QFETCH(QString, regle);
    QFETCH(bool, excluPosix);
    QFETCH(bool, excluWindows);
    for (const FormeNoms &forme : {FormeNoms::posix(), FormeNoms::windows()}) {
        const bool attendu = forme.casse == Qt::CaseSensitive ? excluPosix : excluWindows;
        bool exclu = false;
        if (dossier) {
            exclu = estDossierExclu(chemin, regle, false, 0, forme);
        } else {
            QStringList envoi;
            const ListeEntrees liste{entree(chemin, 200)};
            QCOMPARE(selectionFichiers(liste, 100, {regle}, envoi, forme), 1);
            exclu = envoi.isEmpty();
        }
        QCOMPARE(exclu, attendu);
    }
}

void TstScan::dossierExiste_data()
{
    QTest::addColumn<QString>("relatif");
    QTest::addColumn<bool>("vide");
    QTest::addColumn<bool>("attendu");
    QTest::newRow("folder") << QStringLiteral("d") << false << true;
    QTest::newRow("folder with final slash") << QStringLiteral("d/") << false << true;
    QTest::newRow("file") << QStringLiteral("f.htm") << false << false;
    QTest::newRow("missing") << QStringLiteral("absent") << false << false;
    QTest::newRow("empty text") << QString() << true << false;
}

void TstScan::dossierExiste()
{
    QFETCH(QString, relatif);
    QFETCH(bool, vide);
    QFETCH(bool, attendu);
    QVERIFY(makeDir(chemin(QStringLiteral("d"))));
    fichier(QStringLiteral("f.htm"), 1000);
    QCOMPARE(::dossierExiste(vide ? QString() : chemin(relatif)), attendu);
}

// --- whole walks ------------------------------------------------------------

void TstScan::regles_data()
{
    QTest::addColumn<QString>("exclusDossiers");
    QTest::addColumn<bool>("annees");
    QTest::addColumn<qint64>("date");
    QTest::addColumn<QStringList>("exclus");
    QTest::addColumn<QStringList>("attendu");
    QTest::addColumn<int>("nombre");

    const qint64 t = milieu2012();
    // Every file of the tree but old.htm, which is older than t.
    const QStringList tous{QStringLiteral("index.htm"),       QStringLiteral("1994/a.htm"),
                           QStringLiteral("1995/a.htm"),      QStringLiteral("2011/a.htm"),
                           QStringLiteral("2011/sub/a.htm"),  QStringLiteral("2012/a.htm"),
                           QStringLiteral("2013/a.htm"),      QStringLiteral("html/p.htm"),
                           QStringLiteral("html/mini_p.htm"), QStringLiteral("html/2007/a.htm"),
                           QStringLiteral("html/2010/a.htm"), QStringLiteral("html/www/a.htm"),
                           QStringLiteral("www/a.htm"),       QStringLiteral("www/deep/a.htm")};
    const int total = int(tous.size()) + 1;
    auto sauf = [&](const QStringList &retires) {
        QStringList r = tous;
        for (const QString &x : retires)
            r.removeAll(x);
        return r;
    };

    QTest::newRow("nothing excluded") << QString() << false << t << QStringList() << tous << total;
    QTest::newRow("comparison time 0") << QString() << true << qint64(0) << QStringList()
                                       << (tous + QStringList{QStringLiteral("old.htm")}) << total;
    QTest::newRow("years before 2012")
        << QString() << true << t << QStringList()
        << sauf({QStringLiteral("1995/a.htm"), QStringLiteral("2011/a.htm"),
                 QStringLiteral("2011/sub/a.htm")})
        << total - 3;
    QTest::newRow("www at top only")
        << QStringLiteral("xxxx;www;") << false << t << QStringList()
        << sauf({QStringLiteral("www/a.htm"), QStringLiteral("www/deep/a.htm")}) << total - 2;
    QTest::newRow("HTML skips nothing")
        << QStringLiteral("HTML") << false << t << QStringList() << tous << total;
    QTest::newRow("html/ skips nothing")
        << QStringLiteral("html/") << false << t << QStringList() << tous << total;
    QTest::newRow("html/2007 only") << QStringLiteral("html/2007") << false << t << QStringList()
                                    << sauf({QStringLiteral("html/2007/a.htm")}) << total - 1;
    QTest::newRow("html with its subtree")
        << QStringLiteral("html") << false << t << QStringList()
        << sauf({QStringLiteral("html/p.htm"), QStringLiteral("html/mini_p.htm"),
                 QStringLiteral("html/2007/a.htm"), QStringLiteral("html/2010/a.htm"),
                 QStringLiteral("html/www/a.htm")})
        << total - 5;
    QTest::newRow("fragment mini_")
        << QString() << false << t << QStringList{QStringLiteral("mini_")}
        << sauf({QStringLiteral("html/mini_p.htm")}) << total;
    QTest::newRow("fragment /a.htm")
        << QString() << false << t << QStringList{QStringLiteral("/a.htm")}
        << QStringList{QStringLiteral("index.htm"), QStringLiteral("html/p.htm"),
                       QStringLiteral("html/mini_p.htm")}
        << total;
    QTest::newRow("full path") << QString() << false << t
                               << QStringList{QStringLiteral("@/html/p.htm")}
                               << sauf({QStringLiteral("html/p.htm")}) << total;
    QTest::newRow("full path of a folder")
        << QString() << false << t << QStringList{QStringLiteral("@/www/")}
        << sauf({QStringLiteral("www/a.htm"), QStringLiteral("www/deep/a.htm")}) << total;
    QTest::newRow("empty exclusion entry")
        << QString() << false << t << QStringList{QString()} << QStringList() << total;
}

void TstScan::regles()
{
    QFETCH(QString, exclusDossiers);
    QFETCH(bool, annees);
    QFETCH(qint64, date);
    QFETCH(QStringList, exclus);
    QFETCH(QStringList, attendu);
    QFETCH(int, nombre);

    const qint64 t = milieu2012();
    fichier(QStringLiteral("old.htm"), t - 100);
    const QStringList tous{QStringLiteral("index.htm"),       QStringLiteral("1994/a.htm"),
                           QStringLiteral("1995/a.htm"),      QStringLiteral("2011/a.htm"),
                           QStringLiteral("2011/sub/a.htm"),  QStringLiteral("2012/a.htm"),
                           QStringLiteral("2013/a.htm"),      QStringLiteral("html/p.htm"),
                           QStringLiteral("html/mini_p.htm"), QStringLiteral("html/2007/a.htm"),
                           QStringLiteral("html/2010/a.htm"), QStringLiteral("html/www/a.htm"),
                           QStringLiteral("www/a.htm"),       QStringLiteral("www/deep/a.htm")};
    for (const QString &f : tous)
        fichier(f, t + 10);
    // "@" stands for the root, unknown when the table is built.
    QStringList exclusComplets;
    for (const QString &e : exclus)
        exclusComplets.append(e.startsWith(QLatin1Char('@')) ? m_racine + e.mid(1) : e);

    const ResultatAnalyse r =
        analyseDossier(m_racine, exclusDossiers, annees, quint32(date), exclusComplets);
    QVERIFY(r.racineExiste);
    QStringList obtenu = relatifs(r.envoi);
    obtenu.sort();
    attendu.sort();
    QCOMPARE(obtenu, attendu);
    QCOMPARE(r.nbFichiers, nombre);
}

void TstScan::racineJamaisExclue()
{
    m_racine = m_tmp->path() + QStringLiteral("/2005");
    QVERIFY(makeDir(m_racine));
    fichier(QStringLiteral("a.htm"), milieu2012() + 5);
    fichier(QStringLiteral("2005/b.htm"), milieu2012() + 5);
    const ResultatAnalyse r = analyseDossier(m_racine, QStringLiteral("2005;") + m_racine, true,
                                             quint32(milieu2012()), QStringList());
    QCOMPARE(relatifs(r.envoi), QStringList{QStringLiteral("a.htm")});
    QCOMPARE(r.nbFichiers, 1);
}

void TstScan::racineFinSlash_data()
{
    QTest::addColumn<QString>("fin");
    QTest::newRow("no slash") << QString();
    QTest::newRow("final slash") << QStringLiteral("/");
}

void TstScan::racineFinSlash()
{
    QFETCH(QString, fin);
    const qint64 t = milieu2012();
    fichier(QStringLiteral("a.htm"), t + 1);
    fichier(QStringLiteral("x/b.htm"), t + 1);
    fichier(QStringLiteral("x/y/c.htm"), t + 1);
    fichier(QStringLiteral("x/y/old.htm"), t - 1);
    const ResultatAnalyse r =
        analyseDossier(m_racine + fin, QString(), false, quint32(t), QStringList());
    // Same entries either way: no doubled separator, no missing one.
    QCOMPARE(r.envoi,
             (QStringList{chemin(QStringLiteral("a.htm")), chemin(QStringLiteral("x/b.htm")),
                          chemin(QStringLiteral("x/y/c.htm"))}));
    QCOMPARE(r.nbFichiers, 4);
}

void TstScan::antislash()
{
    const qint64 t = milieu2012();
#ifdef Q_OS_WIN
    fichier(QStringLiteral("a.htm"), t + 1);
    fichier(QStringLiteral("x/b.htm"), t + 1);
    const ResultatAnalyse r = analyseDossier(QDir::toNativeSeparators(m_racine), QString(), false,
                                             quint32(t), QStringList());
    QCOMPARE(r.envoi,
             (QStringList{chemin(QStringLiteral("a.htm")), chemin(QStringLiteral("x/b.htm"))}));
    QCOMPARE(r.nbFichiers, 2);
#else
    // Here "\" is an ordinary character of a name and must be kept as typed.
    m_racine = m_tmp->path() + QStringLiteral("/we\\ird");
    QVERIFY(makeDir(m_racine));
    fichier(QStringLiteral("a.htm"), t + 1);
    fichier(QStringLiteral("x\\y/b.htm"), t + 1);
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    QCOMPARE(r.envoi,
             (QStringList{chemin(QStringLiteral("a.htm")), chemin(QStringLiteral("x\\y/b.htm"))}));
    QCOMPARE(r.nbFichiers, 2);
#endif
}

void TstScan::arretPrecoce()
{
    const qint64 t = milieu2012();
    for (int i = 0; i < 50; ++i)
        fichier(QStringLiteral("vieux/f%1.htm").arg(i, 2, 10, QLatin1Char('0')), t - 1000 + i);
    fichier(QStringLiteral("vieux/nouveau.htm"), t + 1);
    fichier(QStringLiteral("racine.htm"), t);
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    QCOMPARE(relatifs(r.envoi), QStringList{QStringLiteral("vieux/nouveau.htm")});
    QCOMPARE(r.nbFichiers, 52);
    // One look at the root's only file, two in vieux: the new file and the
    // first old one. The 49 others are never compared.
    QCOMPARE(r.nbConsultes, 3);
}

void TstScan::ordreEnvoi()
{
    const qint64 t = milieu2012();
    fichier(QStringLiteral("b.htm"), t + 5);
    fichier(QStringLiteral("a.htm"), t + 5);
    fichier(QStringLiteral("B.htm"), t + 5);
    fichier(QStringLiteral("c.htm"), t + 9);
    fichier(QStringLiteral("a/k/f.htm"), t + 1);
    fichier(QStringLiteral("a/f.htm"), t + 1);
    fichier(QStringLiteral("z/y/f.htm"), t + 1);
    fichier(QStringLiteral("z/x/f.htm"), t + 1);
    fichier(QStringLiteral("z/f2.htm"), t + 2);
    fichier(QStringLiteral("z/f1.htm"), t + 3);
    // z is newer than a; x and y share a time.
    if (!setDirMtime(chemin(QStringLiteral("z")), t + 300) ||
        !setDirMtime(chemin(QStringLiteral("a")), t + 200) ||
        !setDirMtime(chemin(QStringLiteral("z/x")), t + 100) ||
        !setDirMtime(chemin(QStringLiteral("z/y")), t + 100) ||
        !setDirMtime(chemin(QStringLiteral("a/k")), t + 100))
        QSKIP("folder times cannot be set here");
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    const QStringList attendu{QStringLiteral("c.htm"),     QStringLiteral("B.htm"),
                              QStringLiteral("a.htm"),     QStringLiteral("b.htm"),
                              QStringLiteral("z/f1.htm"),  QStringLiteral("z/f2.htm"),
                              QStringLiteral("a/f.htm"),   QStringLiteral("z/x/f.htm"),
                              QStringLiteral("z/y/f.htm"), QStringLiteral("a/k/f.htm")};
    QCOMPARE(relatifs(r.envoi), attendu);
    QCOMPARE(r.nbFichiers, 10);
}

void TstScan::ordreALaSeconde()
{
    // b is 800 ms newer than a within the same second: to the second they tie
    // and a comes first by name.
    const qint64 t = milieu2012();
    if (!writeFileMsecs(chemin(QStringLiteral("b.htm")), t * 1000 + 900) ||
        !writeFileMsecs(chemin(QStringLiteral("a.htm")), t * 1000 + 100))
        QSKIP("this file system does not keep milliseconds");
    fichier(QStringLiteral("c.htm"), t + 1);
    const ResultatAnalyse r =
        analyseDossier(m_racine, QString(), false, quint32(t - 1), QStringList());
    QCOMPARE(relatifs(r.envoi), (QStringList{QStringLiteral("c.htm"), QStringLiteral("a.htm"),
                                             QStringLiteral("b.htm")}));
}

void TstScan::listeCoupee_data()
{
    QTest::addColumn<qint64>("decalage");
    QTest::addColumn<int>("gardes");
    // Files at t-2, t-1 (two), t, t+3; the cut is t + decalage.
    QTest::newRow("before all") << qint64(-3) << 5;
    QTest::newRow("at the oldest") << qint64(-2) << 4;
    QTest::newRow("at a shared time") << qint64(-1) << 2;
    QTest::newRow("between") << qint64(1) << 1;
    QTest::newRow("at the newest") << qint64(3) << 0;
    QTest::newRow("after all") << qint64(1000) << 0;
}

// The cut listing must be the full listing's head, in the same order.
void TstScan::listeCoupee()
{
    QFETCH(qint64, decalage);
    QFETCH(int, gardes);
    const qint64 t = milieu2012();
    fichier(QStringLiteral("a.htm"), t - 2);
    fichier(QStringLiteral("c.htm"), t - 1);
    fichier(QStringLiteral("b.htm"), t - 1);
    fichier(QStringLiteral("d.png"), t);
    fichier(QStringLiteral("e.png"), t + 3);
    fichier(QStringLiteral("sous/f.htm"), t + 5);
    const ListeEntrees tout = listeFichiers(m_racine);
    QCOMPARE(tout.size(), 5);
    int anciens = -1;
    const ListeEntrees coupee = listeFichiersApres(m_racine, t + decalage, anciens);
    QCOMPARE(coupee.size(), gardes);
    QCOMPARE(anciens, 5 - gardes);
    for (int i = 0; i < gardes; ++i) {
        QCOMPARE(coupee.at(i).chemin, tout.at(i).chemin);
        QCOMPARE(coupee.at(i).date, tout.at(i).date);
        QCOMPARE(coupee.at(i).nom(), tout.at(i).nom());
    }
}

void TstScan::contenuEnUneLecture()
{
    // One read of a folder must find what the two separate listings find.
    const qint64 t = milieu2012();
    fichier(QStringLiteral("vieux.htm"), t - 5);
    fichier(QStringLiteral("neuf.htm"), t + 5);
    fichier(QStringLiteral("aussi.png"), t + 5);
    fichier(QStringLiteral(".cache.htm"), t + 5);
    fichier(QStringLiteral("d1/a.htm"), t);
    fichier(QStringLiteral("d2/a.htm"), t);
    fichier(QStringLiteral(".cache/a.htm"), t);
    QVERIFY(makeHidden(chemin(QStringLiteral(".cache.htm"))));
    QVERIFY(makeHidden(chemin(QStringLiteral(".cache"))));
    const bool liens =
        makeSymlink(chemin(QStringLiteral("d1")), chemin(QStringLiteral("versd1"))) &&
        makeSymlink(chemin(QStringLiteral("neuf.htm")), chemin(QStringLiteral("versneuf.htm"))) &&
        makeSymlink(chemin(QStringLiteral("absent")), chemin(QStringLiteral("casse")));
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(chemin(QStringLiteral("tube"))).constData(), 0600), 0);
#endif
    int anciens = -1;
    const ListeEntrees fichiers = listeFichiersApres(m_racine, t, anciens);
    const ListeEntrees sous = listeSousDossiers(m_racine);
    const ContenuDossier contenu = contenuDossier(m_racine, t);
    QCOMPARE(texte(contenu.fichiers), texte(fichiers));
    QCOMPARE(contenu.plusAnciens, anciens);
    QCOMPARE(texte(contenu.sousDossiers), texte(sous));
    // And what they find is what the rules say.
    QCOMPARE(fichiers.size(), 2);
    QCOMPARE(anciens, 1);
    QCOMPARE(sous.size(), liens ? 3 : 2);
    QCOMPARE(contenuDossier(chemin(QStringLiteral("absent")), t).fichiers.size(), 0);
    // Gone or never there is only empty; unreadable is something else.
    QVERIFY(!contenuDossier(chemin(QStringLiteral("absent")), t).illisible);
    QVERIFY(!contenu.illisible);
}

void TstScan::lecteurDossiers_data()
{
    QTest::addColumn<int>("lecteurs");
    QTest::addColumn<int>("dossiers");
    QTest::newRow("seul, aucun dossier") << 1 << 0;
    QTest::newRow("seul, plusieurs") << 1 << 5;
    QTest::newRow("deux, un dossier") << 2 << 1;
    QTest::newRow("deux, plus que de lecteurs") << 2 << 7;
    QTest::newRow("quatre, moins que de lecteurs") << 4 << 3;
    QTest::newRow("quatre, beaucoup") << 4 << 40;
}

void TstScan::lecteurDossiers()
{
    QFETCH(int, lecteurs);
    QFETCH(int, dossiers);
    const qint64 t = milieu2012();
    QStringList chemins;
    for (int i = 0; i < dossiers; ++i) {
        const QString nom = QStringLiteral("d%1").arg(i);
        // Different counts and times in each, so that a listing handed to the
        // wrong folder shows.
        for (int j = 0; j <= i % 4; ++j)
            fichier(nom + QStringLiteral("/f%1.htm").arg(j), t + i - j);
        // A missing folder among them lists as empty, in its place.
        chemins.append(chemin(i % 6 == 5 ? nom + QStringLiteral("-absent") : nom));
    }
    LecteurDossiers lecteur(lecteurs);
    QCOMPARE(lecteur.nbLecteurs(), lecteurs);
    for (int passe = 0; passe < 2; ++passe) {
        const QVector<ContenuDossier> contenus = lecteur.lire(chemins, t);
        QCOMPARE(contenus.size(), chemins.size());
        for (int i = 0; i < dossiers; ++i) {
            const ContenuDossier attendu = contenuDossier(chemins.at(i), t);
            QCOMPARE(texte(contenus.at(i).fichiers), texte(attendu.fichiers));
            QCOMPARE(contenus.at(i).plusAnciens, attendu.plusAnciens);
        }
    }
}

void TstScan::arbreLarge()
{
    // Wide enough that every depth is shared among readers: the order must
    // still be that of a walk of one folder after the other.
    const qint64 t = milieu2012();
    fichier(QStringLiteral("r.htm"), t + 1);
    QStringList niveau1;
    QStringList niveau2;
    for (int i = 0; i < 12; ++i) {
        const QString n = QStringLiteral("n%1").arg(i, 2, 10, QLatin1Char('0'));
        for (int j = 0; j < 3; ++j)
            fichier(n + QStringLiteral("/s%1/f.htm").arg(j), t + 1);
        fichier(n + QStringLiteral("/f.htm"), t + 1);
    }
    // Newest folder first: n11 before n00, s2 before s0.
    for (int i = 11; i >= 0; --i) {
        const QString n = QStringLiteral("n%1").arg(i, 2, 10, QLatin1Char('0'));
        for (int j = 2; j >= 0; --j) {
            const QString s = n + QStringLiteral("/s%1").arg(j);
            if (!setDirMtime(chemin(s), t + 10 + j))
                QSKIP("folder times cannot be set here");
            niveau2.append(s + QStringLiteral("/f.htm"));
        }
        QVERIFY(setDirMtime(chemin(n), t + 100 + i));
        niveau1.append(n + QStringLiteral("/f.htm"));
    }
    const QStringList attendu = QStringList{QStringLiteral("r.htm")} + niveau1 + niveau2;
    for (int passe = 0; passe < 3; ++passe) {
        const ResultatAnalyse r = analyseDossier(m_racine, QStringLiteral("n03/s1;n07"), false,
                                                 quint32(t), QStringList());
        QStringList sansExclus = attendu;
        sansExclus.removeIf([](const QString &p) {
            return p.startsWith(QLatin1String("n03/s1/")) || p.startsWith(QLatin1String("n07/"));
        });
        QCOMPARE(relatifs(r.envoi), sansExclus);
        QCOMPARE(r.nbFichiers, 1 + 12 * 4 - 1 - 4);
    }
}

void TstScan::cachesEtSpeciaux()
{
    const qint64 t = milieu2012();
    fichier(QStringLiteral("vu.htm"), t + 1);
    fichier(QStringLiteral(".cache.htm"), t + 1);
    fichier(QStringLiteral(".cache/a.htm"), t + 1);
    fichier(QStringLiteral("cache.htm"), t + 1);
    fichier(QStringLiteral("dcache/a.htm"), t + 1);
    QVERIFY(makeHidden(chemin(QStringLiteral(".cache.htm"))));
    QVERIFY(makeHidden(chemin(QStringLiteral(".cache"))));
    const bool attributs = makeHidden(chemin(QStringLiteral("cache.htm"))) &&
                           makeHidden(chemin(QStringLiteral("dcache")));
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(chemin(QStringLiteral("tube"))).constData(), 0600), 0);
#endif
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    if (attributs) {
        QCOMPARE(relatifs(r.envoi), QStringList{QStringLiteral("vu.htm")});
        QCOMPARE(r.nbFichiers, 1);
    } else {
        QCOMPARE(relatifs(r.envoi),
                 (QStringList{QStringLiteral("cache.htm"), QStringLiteral("vu.htm"),
                              QStringLiteral("dcache/a.htm")}));
        QCOMPARE(r.nbFichiers, 3);
    }
}

void TstScan::liensFichiers()
{
    const qint64 t = milieu2012();
    fichier(QStringLiteral("vrai.htm"), t + 1);
    QTemporaryDir ailleurs;
    QVERIFY(writeFile(ailleurs.path() + QStringLiteral("/dehors.htm"), "x", t + 1));
    if (!makeSymlink(chemin(QStringLiteral("vrai.htm")), chemin(QStringLiteral("lien.htm"))) ||
        !makeSymlink(ailleurs.path() + QStringLiteral("/dehors.htm"),
                     chemin(QStringLiteral("d/lien2.htm"))) ||
        !makeSymlink(chemin(QStringLiteral("absent")), chemin(QStringLiteral("casse.htm"))))
        QSKIP("no symbolic links here");
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    QCOMPARE(relatifs(r.envoi), QStringList{QStringLiteral("vrai.htm")});
    QCOMPARE(r.nbFichiers, 1);
}

void TstScan::liensDossiers()
{
    const qint64 t = milieu2012();
    QTemporaryDir ailleurs;
    QVERIFY(writeFile(ailleurs.path() + QStringLiteral("/dehors.htm"), "x", t + 1));
    fichier(QStringLiteral("vrai/a.htm"), t + 1);
    if (!makeSymlink(ailleurs.path(), chemin(QStringLiteral("externe"))) ||
        !makeSymlink(chemin(QStringLiteral("vrai")), chemin(QStringLiteral("double"))))
        QSKIP("no symbolic links here");
    QVERIFY(setDirMtime(chemin(QStringLiteral("vrai")), t + 30));
    QVERIFY(setDirMtime(ailleurs.path(), t + 20));
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    // "double" leads to "vrai" (same time, name order); both are walked.
    QCOMPARE(relatifs(r.envoi),
             (QStringList{QStringLiteral("double/a.htm"), QStringLiteral("vrai/a.htm"),
                          QStringLiteral("externe/dehors.htm")}));
    QCOMPARE(r.nbFichiers, 3);
}

void TstScan::bouclesLiens_data()
{
    QTest::addColumn<QStringList>("liens"); // pairs: link, target (relative)
    QTest::addColumn<QStringList>("attendu");

    QTest::newRow("link to its own folder")
        << QStringList{QStringLiteral("a/moi"), QStringLiteral("a")}
        << QStringList{QStringLiteral("r.htm"), QStringLiteral("a/f.htm"),
                       QStringLiteral("a/b/f.htm")};
    QTest::newRow("link to the root")
        << QStringList{QStringLiteral("a/b/haut"), QString()}
        << QStringList{QStringLiteral("r.htm"), QStringLiteral("a/f.htm"),
                       QStringLiteral("a/b/f.htm")};
    QTest::newRow("link to the parent")
        << QStringList{QStringLiteral("a/b/haut"), QStringLiteral("a")}
        << QStringList{QStringLiteral("r.htm"), QStringLiteral("a/f.htm"),
                       QStringLiteral("a/b/f.htm")};
    QTest::newRow("link at the root to the root")
        << QStringList{QStringLiteral("ici"), QString()}
        << QStringList{QStringLiteral("r.htm"), QStringLiteral("a/f.htm"),
                       QStringLiteral("a/b/f.htm")};
    QTest::newRow("two links leading to each other's folder")
        << QStringList{QStringLiteral("a/vers_c"), QStringLiteral("c"), QStringLiteral("c/vers_a"),
                       QStringLiteral("a")}
        << QStringList{QStringLiteral("r.htm"),           QStringLiteral("a/f.htm"),
                       QStringLiteral("c/f.htm"),         QStringLiteral("a/b/f.htm"),
                       QStringLiteral("a/vers_c/f.htm"),  QStringLiteral("c/vers_a/f.htm"),
                       QStringLiteral("c/vers_a/b/f.htm")};
}

void TstScan::bouclesLiens()
{
    QFETCH(QStringList, liens);
    QFETCH(QStringList, attendu);
    const qint64 t = milieu2012();
    fichier(QStringLiteral("r.htm"), t + 1);
    fichier(QStringLiteral("a/f.htm"), t + 1);
    fichier(QStringLiteral("a/b/f.htm"), t + 1);
    if (liens.size() > 2)
        fichier(QStringLiteral("c/f.htm"), t + 1);
    for (int i = 0; i + 1 < liens.size(); i += 2) {
        const QString cible = liens.at(i + 1).isEmpty() ? m_racine : chemin(liens.at(i + 1));
        if (!makeSymlink(cible, chemin(liens.at(i))))
            QSKIP("no symbolic links here");
    }
    const ResultatAnalyse r = analyseDossier(m_racine, QString(), false, quint32(t), QStringList());
    QStringList obtenu = relatifs(r.envoi);
    obtenu.sort();
    attendu.sort();
    QCOMPARE(obtenu, attendu);
    QCOMPARE(r.nbFichiers, int(attendu.size()));
}

void TstScan::racineAbsente()
{
    const ResultatAnalyse r =
        analyseDossier(chemin(QStringLiteral("absent")), QString(), false, 0, QStringList());
    QVERIFY(!r.racineExiste);
    QVERIFY(r.envoi.isEmpty());
    QCOMPARE(r.nbFichiers, 0);

    // A file is no folder either.
    fichier(QStringLiteral("f.htm"), 1000);
    const ResultatAnalyse f =
        analyseDossier(chemin(QStringLiteral("f.htm")), QString(), false, 0, QStringList());
    QVERIFY(!f.racineExiste);
    QVERIFY(f.envoi.isEmpty());
    QCOMPARE(f.nbFichiers, 0);
}

void TstScan::dossiersIllisibles_data()
{
    QTest::addColumn<QString>("ferme"); // folder made unreadable: "." the local one, "" none
    QTest::addColumn<QFile::Permissions>("droits"); // what it is left with
    QTest::addColumn<QStringList>("envoi");
    QTest::addColumn<QStringList>("illisibles");

    const auto l = [](std::initializer_list<const char *> t) {
        QStringList r;
        for (const char *s : t)
            r.append(QString::fromUtf8(s));
        return r;
    };
    const QFile::Permissions aucun;
    // Its names can be listed, but nothing about them read.
    const QFile::Permissions lecture = QFile::ReadOwner | QFile::ReadUser;
    QTest::newRow("every folder readable")
        << QString() << aucun << l({"a/x.htm", "b/y.htm", "a/c/z.htm", "b/d/w.htm"}) << l({});
    // Nor is anything below it seen.
    QTest::newRow("a sub-folder") << QStringLiteral("b") << aucun << l({"a/x.htm", "a/c/z.htm"})
                                  << l({"b"});
    QTest::newRow("a deeper one") << QStringLiteral("a/c") << aucun
                                  << l({"a/x.htm", "b/y.htm", "b/d/w.htm"}) << l({"a/c"});
    QTest::newRow("the local folder itself") << QStringLiteral(".") << aucun << l({}) << l({});
    QTest::newRow("a sub-folder that cannot be searched")
        << QStringLiteral("b") << lecture << l({"a/x.htm", "a/c/z.htm"}) << l({"b"});
    QTest::newRow("the local folder, not searchable")
        << QStringLiteral(".") << lecture << l({}) << l({});
}

void TstScan::dossiersIllisibles()
{
#ifndef Q_OS_LINUX
    QSKIP("folder permissions that deny reading are tested on Linux");
#else
    QFETCH(QString, ferme);
    QFETCH(QFile::Permissions, droits);
    QFETCH(QStringList, envoi);
    QFETCH(QStringList, illisibles);
    const qint64 t = milieu2012();
    fichier(QStringLiteral("a/x.htm"), t + 3);
    fichier(QStringLiteral("b/y.htm"), t + 2);
    fichier(QStringLiteral("b/d/w.htm"), t + 2);
    fichier(QStringLiteral("a/c/z.htm"), t + 1);
    // An empty folder lists nothing either, and is no unreadable one.
    QVERIFY(makeDir(chemin(QStringLiteral("b/vide"))));
    QVERIFY(setDirMtime(chemin(QStringLiteral("a/c")), t + 8));
    QVERIFY(setDirMtime(chemin(QStringLiteral("b/d")), t + 6));
    QVERIFY(setDirMtime(chemin(QStringLiteral("a")), t + 20));
    QVERIFY(setDirMtime(chemin(QStringLiteral("b")), t + 10));
    const bool racine = ferme == QLatin1String(".");
    const QString cible = racine ? m_racine : chemin(ferme);
    const QFile::Permissions avant = QFile::permissions(cible);
    const auto rendre = qScopeGuard([&] { QFile::setPermissions(cible, avant); });
    ResultatAnalyse r;
    {
        SansPasseDroit sansPasseDroit;
        if (!ferme.isEmpty()) {
            QVERIFY(QFile::setPermissions(cible, droits));
            const QStringList noms = QDir(cible).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
            if (!sansPasseDroit.actif() ||
                (!noms.isEmpty() &&
                 QFileInfo(cible + QLatin1Char('/') + noms.first()).lastModified().isValid()))
                QSKIP("this process reads folders whatever their permissions");
        }
        r = analyseDossier(m_racine, QString(), false, quint32(t), {});
    }
    QCOMPARE(r.racineIllisible, racine);
    QVERIFY(r.racineExiste);
    QCOMPARE(relatifs(r.envoi), envoi);
    QCOMPARE(relatifs(r.dossiersIllisibles), illisibles);
#endif
}

void TstScan::racineVide()
{
    // An empty text must not make the working folder the root.
    fichier(QStringLiteral("f.htm"), milieu2012() + 1);
    fichier(QStringLiteral("d/g.htm"), milieu2012() + 1);
    const QString avant = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_racine));
    const ResultatAnalyse r = analyseDossier(QString(), QString(), false, 0, QStringList());
    QVERIFY(QDir::setCurrent(avant));
    QVERIFY(!r.racineExiste);
    QVERIFY(r.envoi.isEmpty());
    QCOMPARE(r.nbFichiers, 0);
}

QTEST_GUILESS_MAIN(TstScan)
#include "tst_scan.moc"
