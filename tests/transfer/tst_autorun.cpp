// The real executable in automatic mode, as a scheduler starts it.
#include "testftpserver.h"
#include "testtree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/prctl.h>
#endif

class TestAutoRun : public QObject
{
    Q_OBJECT

    // As a scheduler would start it, with its own data and runtime folders.
    static void preparer(QProcess &p, const QTemporaryDir &data, const QTemporaryDir &runtime)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        p.setProcessEnvironment(env);
    }

private slots:
    void exitCodeTellsTheOutcome_data()
    {
        QTest::addColumn<QString>("motDePasse");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("envoye");
        QTest::addColumn<QString>("ferme"); // a folder of the site made unreadable
        QTest::addColumn<bool>("recul");    // the recorded date is a year ahead of the clock
        QTest::newRow("success") << QStringLiteral("secret") << 0 << true << QString() << false;
        QTest::newRow("login refused")
            << QStringLiteral("faux") << 2 << false << QString() << false;
        QTest::newRow("a folder of the site cannot be read")
            << QStringLiteral("secret") << 0 << true << QStringLiteral("sec") << false;
        QTest::newRow("the clock was set back")
            << QStringLiteral("secret") << 0 << true << QString() << true;
    }
    void exitCodeTellsTheOutcome()
    {
        QFETCH(QString, motDePasse);
        QFETCH(int, code);
        QFETCH(bool, envoye);
        QFETCH(QString, ferme);
        QFETCH(bool, recul);
#ifndef Q_OS_LINUX
        if (!ferme.isEmpty())
            QSKIP("folder permissions that deny reading are tested on Linux");
#endif
        TestFtpServer serveur;
        QVERIFY2(serveur.start(), qPrintable(serveur.errorString()));
        QVERIFY(makeDir(serveur.serverFilePath(QStringLiteral("www"))));
        QTemporaryDir data, site, runtime;
        QVERIFY(writeFile(site.filePath(QStringLiteral("index.htm")), "bonjour\n",
                          QDateTime::currentSecsSinceEpoch() - 10));
        const QString ini = data.filePath(QStringLiteral("Nuvola.ini"));
        {
            QSettings s(ini, QSettings::IniFormat);
            s.beginGroup(QStringLiteral("Config"));
            s.setValue(QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
            s.setValue(QStringLiteral("Port"), serveur.port());
            s.setValue(QStringLiteral("Utilisateur"), serveur.user());
            s.setValue(QStringLiteral("Pass"), motDePasse);
            s.setValue(QStringLiteral("DosServeur"), QStringLiteral("www"));
            s.setValue(QStringLiteral("DosLocal"), site.path());
            s.setValue(QStringLiteral("Date"),
                       recul ? QDateTime::currentSecsSinceEpoch() + 365 * 86400 : 1000);
        }
        QProcess p;
        preparer(p, data, runtime);
        const QString dossierFerme = site.filePath(ferme);
        const auto rendre = qScopeGuard([&] {
            if (!ferme.isEmpty())
                QFile::setPermissions(dossierFerme,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
#ifdef Q_OS_LINUX
        if (!ferme.isEmpty()) {
            QVERIFY(writeFile(site.filePath(ferme + QStringLiteral("/b.htm")), "b\n",
                              QDateTime::currentSecsSinceEpoch() - 10));
            QVERIFY(QFile::setPermissions(dossierFerme, QFileDevice::Permissions()));
            // Root would read it anyway: the run goes without the capabilities
            // that let it, as a user's would. Elsewhere the calls fail, harmlessly.
            p.setChildProcessModifier([] {
                ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
                ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
            });
        }
#endif
        p.start(QString::fromLocal8Bit(qgetenv("NUVOLA_EXE")), {QStringLiteral("/auto")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        QCOMPARE(serveur.serverFileExists(QStringLiteral("www/index.htm")), envoye);
        QSettings s(ini, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Date")).toLongLong() > 1000 &&
                     s.value(QStringLiteral("Config/Date")).toLongLong() <=
                         QDateTime::currentSecsSinceEpoch(),
                 envoye);
        // Quitting at once after the run still leaves its log whole.
        QFile log(data.filePath(QStringLiteral("Nuvola.log")));
        QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString journal = QString::fromUtf8(log.readAll());
        QVERIFY2(journal.startsWith(QStringLiteral("=== ")), qPrintable(journal));
        QVERIFY2(journal.endsWith(QStringLiteral(" (code de sortie %1)\n").arg(code)),
                 qPrintable(journal));
        if (envoye)
            QVERIFY(journal.contains(QStringLiteral("/index.htm...Envoyé\nConnexion fermée.\n")));
        const QString erreur = QString::fromUtf8(p.readAllStandardError());
        if (!ferme.isEmpty()) {
            // Passed over, not failed: the log still goes to the scheduler.
            QVERIFY2(erreur.contains(QStringLiteral("Dossier ignoré : /sec (lecture impossible)")),
                     qPrintable(erreur));
            QVERIFY(erreur.contains(QStringLiteral("Attention : 1 dossier(s) illisible(s)")));
            QVERIFY(!serveur.serverFileExists(QStringLiteral("www/sec/b.htm")));
        } else if (recul) {
            // Sent, but the clock is wrong: whoever reads the scheduler's
            // mail must know, the station's own dates being wrong as well.
            QVERIFY2(erreur.contains(QStringLiteral("l'horloge a reculé")), qPrintable(erreur));
            QVERIFY(erreur.contains(QStringLiteral("/index.htm...Envoyé")));
        } else if (envoye) {
            QCOMPARE(erreur, QString()); // quiet when all is well
        } else {
            // A failure prints its log, for a scheduler that mails output.
            QVERIFY2(erreur.contains(QStringLiteral("Identification impossible")),
                     qPrintable(erreur));
            QVERIFY(erreur.contains(QStringLiteral("Résultat : échec (code de sortie 2)")));
            QVERIFY(!erreur.contains(motDePasse));
        }
    }

    void missingSettingsFail()
    {
        QTemporaryDir data, runtime;
        QProcess p;
        preparer(p, data, runtime);
        p.start(QString::fromLocal8Bit(qgetenv("NUVOLA_EXE")), {QStringLiteral("/auto")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QString ini = data.filePath(QStringLiteral("Nuvola.ini"));
        const QString erreur = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(erreur.contains(QStringLiteral("Réglages introuvables : %1 (lancez Nuvola sans "
                                                "/auto pour les saisir")
                                     .arg(QDir::toNativeSeparators(ini))),
                 qPrintable(erreur));
        // No settings made up in its place: the next run says the same.
        QVERIFY(!QFile::exists(ini));
    }
};

QTEST_GUILESS_MAIN(TestAutoRun)
#include "tst_autorun.moc"
