#include "ftp/runlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using Issue = JournalExecution::Issue;
Q_DECLARE_METATYPE(JournalExecution::Issue)

namespace {

// Read back in text mode, so the comparisons hold on Windows' CRLF too.
QString lire(const QString &chemin)
{
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("<absent>");
    return QString::fromUtf8(f.readAll());
}

QDateTime debut()
{
    return QDateTime(QDate(2026, 12, 8), QTime(14, 5, 3));
}

QString entete(bool modeAuto)
{
    return modeAuto ? QStringLiteral("=== 08/12/2026 14:05:03 — transfert automatique ===\n")
                    : QStringLiteral("=== 08/12/2026 14:05:03 — transfert interactif ===\n");
}

// One line of 100 characters with its "\n".
QString ligne(int numero)
{
    return QStringLiteral("Envoi %1 ")
               .arg(numero, 6, 10, QLatin1Char('0'))
               .leftJustified(99, QLatin1Char('.')) +
           QLatin1Char('\n');
}

} // namespace

class TestRunLog : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_dir = nullptr;
    QString m_log;

    // Whole lines up to near the bound, then one unfinished line that passes
    // it: the outcome, at no line start, stays in the same file.
    void remplirAuDela(JournalExecution &journal)
    {
        for (int i = 0; QFileInfo(m_log).size() <= JournalExecution::tailleMax - 200; ++i)
            journal.ecrire(ligne(i));
        const qint64 reste = JournalExecution::tailleMax - QFileInfo(m_log).size() + 1;
        journal.ecrire(QString(reste, QLatin1Char('+')));
        QVERIFY(QFileInfo(m_log).size() > JournalExecution::tailleMax);
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        m_log = m_dir->filePath(QStringLiteral("Nuvola.log"));
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
    }

    void headingAndOutcome_data()
    {
        QTest::addColumn<bool>("modeAuto");
        QTest::addColumn<Issue>("issue");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("resultat");
        QTest::newRow("interactive success")
            << false << Issue::Reussi << -1 << QStringLiteral("Résultat : transfert réussi\n");
        QTest::newRow("interactive nothing")
            << false << Issue::RienAEnvoyer << -1
            << QStringLiteral("Résultat : aucun fichier à transférer\n");
        QTest::newRow("interactive failure")
            << false << Issue::Echec << -1 << QStringLiteral("Résultat : échec\n");
        QTest::newRow("interactive cancel")
            << false << Issue::Annule << -1 << QStringLiteral("Résultat : annulé\n");
        QTest::newRow("automatic success")
            << true << Issue::Reussi << 0
            << QStringLiteral("Résultat : transfert réussi (code de sortie 0)\n");
        QTest::newRow("automatic nothing")
            << true << Issue::RienAEnvoyer << 0
            << QStringLiteral("Résultat : aucun fichier à transférer (code de sortie 0)\n");
        QTest::newRow("automatic failure")
            << true << Issue::Echec << 2 << QStringLiteral("Résultat : échec (code de sortie 2)\n");
        QTest::newRow("automatic stopped")
            << true << Issue::Annule << 2
            << QStringLiteral("Résultat : annulé (code de sortie 2)\n");
    }
    void headingAndOutcome()
    {
        QFETCH(bool, modeAuto);
        QFETCH(Issue, issue);
        QFETCH(int, code);
        QFETCH(QString, resultat);
        JournalExecution journal(m_log);
        journal.commencer(debut(), modeAuto);
        QCOMPARE(lire(m_log), entete(modeAuto));
        journal.ecrire(QStringLiteral("Connexion au serveur\n"));
        journal.terminer(issue, code);
        const QString attendu =
            entete(modeAuto) + QStringLiteral("Connexion au serveur\n") + resultat;
        QCOMPARE(lire(m_log), attendu);
        QCOMPARE(journal.texteRun(), attendu);
    }

    void textsAppendedAsTheyCome_data()
    {
        QTest::addColumn<QStringList>("textes");
        QTest::addColumn<QString>("corps");
        QTest::newRow("whole lines") << QStringList{QStringLiteral("a\n"), QStringLiteral("b\n")}
                                     << QStringLiteral("a\nb\n");
        QTest::newRow("partial line completed")
            << QStringList{QStringLiteral("Envoi de index.htm ... "), QStringLiteral("OK\n")}
            << QStringLiteral("Envoi de index.htm ... OK\n");
        QTest::newRow("three pieces")
            << QStringList{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z\n")}
            << QStringLiteral("xyz\n");
        QTest::newRow("unfinished line ended before the outcome")
            << QStringList{QStringLiteral("a\n"), QStringLiteral("Envoi en cours")}
            << QStringLiteral("a\nEnvoi en cours\n");
        QTest::newRow("empty texts")
            << QStringList{QString(), QStringLiteral("a\n"), QString()} << QStringLiteral("a\n");
        QTest::newRow("blank lines kept")
            << QStringList{QStringLiteral("\n\n"), QStringLiteral("a\n")}
            << QStringLiteral("\n\na\n");
        QTest::newRow("accents") << QStringList{QStringLiteral("Dossier « été » créé\n")}
                                 << QStringLiteral("Dossier « été » créé\n");
        QTest::newRow("CRLF given")
            << QStringList{QStringLiteral("221 Bye\r\n")} << QStringLiteral("221 Bye\n");
    }
    void textsAppendedAsTheyCome()
    {
        QFETCH(QStringList, textes);
        QFETCH(QString, corps);
        JournalExecution journal(m_log);
        journal.commencer(debut(), false);
        for (const QString &t : textes)
            journal.ecrire(t);
        journal.terminer(Issue::Echec, -1);
        QCOMPARE(lire(m_log), entete(false) + corps + QStringLiteral("Résultat : échec\n"));
    }

    void eachTextReachesTheDiskAtOnce()
    {
        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        journal.ecrire(QStringLiteral("Connexion"));
        // No outcome yet: a run killed now leaves this.
        QCOMPARE(lire(m_log), entete(true) + QStringLiteral("Connexion"));
        journal.ecrire(QStringLiteral(" établie\n"));
        QCOMPARE(lire(m_log), entete(true) + QStringLiteral("Connexion établie\n"));
    }

    void fileIsUtf8()
    {
        JournalExecution journal(m_log);
        journal.commencer(debut(), false);
        QFile f(m_log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("\xe2\x80\x94 transfert interactif"));
    }

    void killedRunLeftAPartialLine()
    {
        QFile f(m_log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("=== ancien ===\nEnvoi de a.htm");
        f.close();
        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        QCOMPARE(lire(m_log), QStringLiteral("=== ancien ===\nEnvoi de a.htm\n") + entete(true));
        QCOMPARE(journal.texteRun(), entete(true));
    }

    void runsAreAppended()
    {
        {
            JournalExecution journal(m_log);
            journal.commencer(debut(), true);
            journal.terminer(Issue::RienAEnvoyer, 0);
        }
        JournalExecution journal(m_log);
        journal.commencer(debut().addSecs(300), true);
        journal.ecrire(QStringLiteral("x\n"));
        journal.terminer(Issue::Reussi, 0);
        const QString second =
            QStringLiteral("=== 08/12/2026 14:10:03 — transfert automatique ===\n"
                           "x\nRésultat : transfert réussi (code de sortie 0)\n");
        QCOMPARE(lire(m_log),
                 entete(true) +
                     QStringLiteral("Résultat : aucun fichier à transférer (code de sortie 0)\n") +
                     second);
        QCOMPARE(journal.texteRun(), second);
    }

    void texteRunHoldsOnlyTheCurrentRun()
    {
        JournalExecution journal(m_log);
        journal.commencer(debut(), false);
        journal.ecrire(QStringLiteral("premier\n"));
        journal.terminer(Issue::Reussi, -1);
        journal.commencer(debut(), false);
        journal.ecrire(QStringLiteral("second"));
        QCOMPARE(journal.texteRun(), entete(false) + QStringLiteral("second"));
        journal.terminer(Issue::Annule, -1);
        QCOMPARE(journal.texteRun(), entete(false) + QStringLiteral("second\nRésultat : annulé\n"));
    }

    void passwordNeverWritten_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QStringList>("textes");
        QTest::addColumn<QString>("corps");
        QTest::newRow("whole") << QStringLiteral("s3cr3t")
                               << QStringList{QStringLiteral("PASS s3cr3t\n")}
                               << QStringLiteral("PASS ****\n");
        QTest::newRow("twice in one text")
            << QStringLiteral("s3cr3t") << QStringList{QStringLiteral("s3cr3t/s3cr3t\n")}
            << QStringLiteral("****/****\n");
        QTest::newRow("split over two texts")
            << QStringLiteral("s3cr3t")
            << QStringList{QStringLiteral("PASS s3c"), QStringLiteral("r3t\n")}
            << QStringLiteral("PASS ****\n");
        QTest::newRow("one character a text")
            << QStringLiteral("abc")
            << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("\n")}
            << QStringLiteral("****\n");
        QTest::newRow("held-back start that does not continue")
            << QStringLiteral("s3cr3t")
            << QStringList{QStringLiteral("va s3"), QStringLiteral("x\n")}
            << QStringLiteral("va s3x\n");
        QTest::newRow("start restarting inside a start")
            << QStringLiteral("abab") << QStringList{QStringLiteral("xaba"), QStringLiteral("b\n")}
            << QStringLiteral("x****\n");
        QTest::newRow("held-back start at the end of the run")
            << QStringLiteral("s3cr3t") << QStringList{QStringLiteral("fin s3c")}
            << QStringLiteral("fin s3c\n");
        QTest::newRow("overlapping occurrences")
            << QStringLiteral("aa") << QStringList{QStringLiteral("aaa\n")}
            << QStringLiteral("****a\n");
        QTest::newRow("common letter is masked too")
            << QStringLiteral("e") << QStringList{QStringLiteral("Envoi de index\n")}
            << QStringLiteral("Envoi d**** ind****x\n");
        QTest::newRow("case differs: not the password")
            << QStringLiteral("Secret") << QStringList{QStringLiteral("secret\n")}
            << QStringLiteral("secret\n");
        QTest::newRow("no password set") << QString() << QStringList{QStringLiteral("PASS mdps\n")}
                                         << QStringLiteral("PASS mdps\n");
    }
    void passwordNeverWritten()
    {
        QFETCH(QString, secret);
        QFETCH(QStringList, textes);
        QFETCH(QString, corps);
        JournalExecution journal(m_log);
        journal.setSecret(secret);
        journal.commencer(debut(), true);
        for (const QString &t : textes)
            journal.ecrire(t);
        journal.terminer(Issue::Echec, 2);
        const QString attendu =
            entete(true) + corps + QStringLiteral("Résultat : échec (code de sortie 2)\n");
        QCOMPARE(lire(m_log), attendu);
        QCOMPARE(journal.texteRun(), attendu);
        if (secret.size() > 1) {
            QVERIFY(!lire(m_log).contains(secret));
            QVERIFY(!journal.texteRun().contains(secret));
        }
    }

    void passwordPrefixNeverLeaksMidRun()
    {
        // While a possible start of the password is held back, what is on the
        // disk and in memory never shows it whole.
        JournalExecution journal(m_log);
        journal.setSecret(QStringLiteral("hunter2"));
        journal.commencer(debut(), true);
        journal.ecrire(QStringLiteral("PASS hun"));
        QCOMPARE(lire(m_log), entete(true) + QStringLiteral("PASS "));
        QCOMPARE(journal.texteRun(), entete(true) + QStringLiteral("PASS hun"));
        journal.ecrire(QStringLiteral("ter2"));
        QCOMPARE(lire(m_log), entete(true) + QStringLiteral("PASS ****"));
    }

    void rotationKeepsOneOlderCopy()
    {
        const QString ancien = m_dir->filePath(QStringLiteral("Nuvola.log.1"));
        QString premier;
        {
            JournalExecution journal(m_log);
            QCOMPARE(journal.cheminAncien(), ancien);
            journal.commencer(debut(), true);
            remplirAuDela(journal);
            journal.terminer(Issue::Reussi, 0);
            premier = lire(m_log);
        }
        QVERIFY(!QFile::exists(ancien));

        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        journal.terminer(Issue::RienAEnvoyer, 0);
        const QString petit =
            entete(true) +
            QStringLiteral("Résultat : aucun fichier à transférer (code de sortie 0)\n");
        QCOMPARE(lire(m_log), petit);
        QCOMPARE(lire(ancien), premier);

        // A second rotation replaces the older copy.
        journal.commencer(debut(), false);
        remplirAuDela(journal);
        journal.terminer(Issue::Echec, -1);
        const QString deuxieme = lire(m_log);
        QVERIFY(deuxieme.startsWith(petit + entete(false)));
        journal.commencer(debut(), true);
        QCOMPARE(lire(m_log), entete(true));
        QCOMPARE(lire(ancien), deuxieme);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("Nuvola.log"), QStringLiteral("Nuvola.log.1")}));
    }

    void rotationInTheMiddleOfARunLosesNothing_data()
    {
        QTest::addColumn<int>("avant"); // bytes of older runs already in the file
        QTest::addColumn<int>("lignes");
        QTest::newRow("bound passed by the heading") << int(JournalExecution::tailleMax) - 20 << 5;
        QTest::newRow("bound passed after a few lines")
            << int(JournalExecution::tailleMax) - 450 << 20;
        QTest::newRow("two rotations in one run")
            << int(JournalExecution::tailleMax) - 450 << 12000;
    }
    void rotationInTheMiddleOfARunLosesNothing()
    {
        QFETCH(int, avant);
        QFETCH(int, lignes);
        QFile f(m_log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray ancienRun = QByteArray(avant - 1, 'x') + '\n';
        f.write(ancienRun);
        f.close();

        JournalExecution journal(m_log);
        journal.setSecret(QStringLiteral("s3cr3t"));
        journal.commencer(debut(), true);
        for (int i = 0; i < lignes; ++i) {
            journal.ecrire(ligne(i));
            // On the disk before ecrire() returns, even while the file is held open.
            if (i < 50 || i % 1000 == 0)
                QVERIFY2(lire(m_log).endsWith(ligne(i)), QByteArray::number(i));
        }
        journal.ecrire(QStringLiteral("PASS s3c"));
        journal.ecrire(QStringLiteral("r3t\n"));
        journal.terminer(Issue::Reussi, 0);

        const QString suite =
            QStringLiteral("=== 08/12/2026 14:05:03 — transfert automatique (suite) ===\n");
        QString ancien = lire(journal.cheminAncien());
        QString nouveau = lire(m_log);
        QVERIFY2(nouveau.startsWith(suite), qPrintable(nouveau.left(200)));
        nouveau.remove(0, suite.size());
        if (ancien.startsWith(suite))
            ancien.remove(0, suite.size()); // the older copy is itself a continuation
        else if (ancien.startsWith(QString::fromLatin1(ancienRun)))
            ancien.remove(0, ancienRun.size());
        else
            QFAIL("the older copy holds neither the older runs nor a continuation");
        // Two rotations drop the first part of the run with the oldest copy;
        // otherwise both files together hold the whole run, once.
        if (lignes < 10000) {
            QCOMPARE(ancien + nouveau, journal.texteRun());
        } else {
            QVERIFY(journal.texteRun().endsWith(ancien + nouveau));
            QVERIFY(ancien.size() + nouveau.size() > JournalExecution::tailleMax / 2);
        }
        QVERIFY(nouveau.endsWith(
            QStringLiteral("PASS ****\nRésultat : transfert réussi (code de sortie 0)\n")));
        QVERIFY(!(ancien + nouveau).contains(QStringLiteral("s3cr3t")));
    }

    void logMovedAwayBetweenRunsIsStartedAgain()
    {
        JournalExecution journal(m_log);
        journal.commencer(debut(), false);
        journal.ecrire(QStringLiteral("premier\n"));
        journal.terminer(Issue::Reussi, -1);
        const QString deplace = m_dir->filePath(QStringLiteral("archive.log"));
        QVERIFY(QFile::rename(m_log, deplace));
        journal.commencer(debut(), false);
        journal.ecrire(QStringLiteral("second\n"));
        QCOMPARE(lire(m_log), entete(false) + QStringLiteral("second\n"));
        journal.terminer(Issue::Reussi, -1);
        QCOMPARE(lire(deplace),
                 entete(false) + QStringLiteral("premier\nRésultat : transfert réussi\n"));
    }

    void noRotationAtTheBound()
    {
        // Only a file past 1 MiB is rotated.
        QFile f(m_log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(JournalExecution::tailleMax - 1, 'x') + '\n');
        f.close();
        QCOMPARE(QFileInfo(m_log).size(), JournalExecution::tailleMax);
        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        QVERIFY(!QFile::exists(journal.cheminAncien()));
        journal.commencer(debut(), true);
        QVERIFY(QFile::exists(journal.cheminAncien()));
        QCOMPARE(lire(m_log), entete(true));
    }

    void longRunRotatesBetweenLines()
    {
        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        qint64 plusGrand = 0;
        for (int i = 0; i < 30000; ++i) { // 3 MB of lines
            journal.ecrire(ligne(i));
            plusGrand = qMax(plusGrand, QFileInfo(m_log).size());
        }
        journal.terminer(Issue::Reussi, 0);
        QVERIFY2(plusGrand <= JournalExecution::tailleMax + 200, QByteArray::number(plusGrand));
        const QString suite =
            QStringLiteral("=== 08/12/2026 14:05:03 — transfert automatique (suite) ===\n");
        const QString nouveau = lire(m_log);
        QVERIFY(nouveau.startsWith(suite + QStringLiteral("Envoi ")));
        QVERIFY(nouveau.endsWith(
            ligne(29999) + QStringLiteral("Résultat : transfert réussi (code de sortie 0)\n")));
        const QString ancien = lire(journal.cheminAncien());
        QVERIFY(ancien.startsWith(suite));
        QVERIFY(ancien.endsWith(QLatin1Char('\n')));
        // The run in memory is whole.
        QCOMPARE(journal.texteRun().count(QLatin1Char('\n')), 30002);
    }

    void endlessLineStillBounded()
    {
        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        const QString morceau(10000, QLatin1Char('z'));
        qint64 plusGrand = 0;
        for (int i = 0; i < 300; ++i) {
            journal.ecrire(morceau);
            plusGrand = qMax(plusGrand, QFileInfo(m_log).size());
        }
        QVERIFY2(plusGrand <= 2 * JournalExecution::tailleMax + morceau.size() + 200,
                 QByteArray::number(plusGrand));
        QVERIFY(QFile::exists(journal.cheminAncien()));
    }

    void folderInTheWayOfTheOlderCopy()
    {
        // The older copy cannot be made: the log starts afresh rather than
        // grow without bound, and the folder is left alone.
        const QString ancien = m_dir->filePath(QStringLiteral("Nuvola.log.1"));
        QVERIFY(QDir().mkpath(ancien));
        QFile garde(ancien + QStringLiteral("/garde.txt"));
        QVERIFY(garde.open(QIODevice::WriteOnly));
        garde.write("garde");
        garde.close();
        QFile f(m_log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(JournalExecution::tailleMax + 10, 'x') + '\n');
        f.close();

        JournalExecution journal(m_log);
        journal.commencer(debut(), true);
        journal.terminer(Issue::Reussi, 0);
        QCOMPARE(lire(m_log),
                 entete(true) + QStringLiteral("Résultat : transfert réussi (code de sortie 0)\n"));
        QVERIFY(QFileInfo(ancien).isDir());
        QCOMPARE(lire(ancien + QStringLiteral("/garde.txt")), QStringLiteral("garde"));
    }

    void unwritableLogCostsNothingElse_data()
    {
        QTest::addColumn<QString>("relatif");
        QTest::newRow("folder in the way") << QStringLiteral("Nuvola.log");
        QTest::newRow("file in the way of the folder") << QStringLiteral("fichier/Nuvola.log");
    }
    void unwritableLogCostsNothingElse()
    {
        QFETCH(QString, relatif);
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Nuvola.log")));
        QFile bloc(m_dir->filePath(QStringLiteral("fichier")));
        QVERIFY(bloc.open(QIODevice::WriteOnly));
        bloc.close();
        const QStringList avant =
            QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

        JournalExecution journal(m_dir->filePath(relatif));
        journal.setSecret(QStringLiteral("mdps"));
        journal.commencer(debut(), true);
        journal.ecrire(QStringLiteral("PASS md"));
        journal.ecrire(QStringLiteral("ps\n"));
        journal.terminer(Issue::Echec, 2);

        QCOMPARE(journal.texteRun(),
                 entete(true) + QStringLiteral("PASS ****\n"
                                               "Résultat : échec (code de sortie 2)\n"));
        QCOMPARE(
            QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            avant);
        QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("Nuvola.log"))).isDir());
        QCOMPARE(QFileInfo(m_dir->filePath(QStringLiteral("fichier"))).size(), 0);
    }

    void missingFolderIsCreated()
    {
        const QString chemin = m_dir->filePath(QStringLiteral("neuf/sous/Nuvola.log"));
        JournalExecution journal(chemin);
        journal.commencer(debut(), false);
        QCOMPARE(lire(chemin), entete(false));
    }

    void readableByItsOwnerOnly()
    {
#ifdef Q_OS_UNIX
        JournalExecution journal(m_log);
        journal.commencer(debut(), false);
        const QFileDevice::Permissions autres = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(m_log).permissions() & autres, QFileDevice::Permissions());
#else
        QSKIP("permissions of the Unix kind only");
#endif
    }
};

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
