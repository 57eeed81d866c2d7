// The real executable in automatic mode, as a scheduler starts it.
#include "testftpserver.h"
#include "testtree.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestAutoRun : public QObject
{
    Q_OBJECT

private slots:
    void exitCodeTellsTheOutcome_data()
    {
        QTest::addColumn<QString>("motDePasse");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("envoye");
        QTest::newRow("success") << QStringLiteral("secret") << 0 << true;
        QTest::newRow("login refused") << QStringLiteral("faux") << 2 << false;
    }
    void exitCodeTellsTheOutcome()
    {
        QFETCH(QString, motDePasse);
        QFETCH(int, code);
        QFETCH(bool, envoye);
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
            s.setValue(QStringLiteral("Date"), 1000);
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        p.setProcessEnvironment(env);
        p.start(QString::fromLocal8Bit(qgetenv("NUVOLA_EXE")), {QStringLiteral("/auto")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        QCOMPARE(serveur.serverFileExists(QStringLiteral("www/index.htm")), envoye);
        QSettings s(ini, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Date")).toString() != QLatin1String("1000"),
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
        if (envoye) {
            QCOMPARE(erreur, QString()); // quiet when all is well
        } else {
            // A failure prints its log, for a scheduler that mails output.
            QVERIFY2(erreur.contains(QStringLiteral("Identification impossible")),
                     qPrintable(erreur));
            QVERIFY(erreur.contains(QStringLiteral("Résultat : échec (code de sortie 2)")));
            QVERIFY(!erreur.contains(motDePasse));
        }
    }
};

QTEST_GUILESS_MAIN(TestAutoRun)
#include "tst_autorun.moc"
