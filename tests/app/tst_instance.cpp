// Starts the real executable: one instance at a time, automatic mode quitting
// by itself and never saving the form.
#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

QString executable()
{
    return QString::fromLocal8Bit(qgetenv("NUVOLA_EXE"));
}

} // namespace

class TestInstance : public QObject
{
    Q_OBJECT

    QTemporaryDir m_data;
    QTemporaryDir m_runtime;

    QString ini() const { return m_data.filePath(QStringLiteral("Nuvola.ini")); }

    void configure(QProcess &p)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_data.path());
        // Without it Qt itself warns on standard error, as no desktop session would.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        p.setProcessEnvironment(env);
        p.setProgram(executable());
    }

    // Starts an interactive instance and waits until it holds the marker. Only
    // reads the marker: a probe that took part in the locking could disturb it.
    bool startInteractive(QProcess &p)
    {
        configure(p);
        p.start();
        if (!p.waitForStarted(10000))
            return false;
        for (int essai = 0; essai < 200 && p.state() == QProcess::Running; ++essai) {
            if (SingleInstance::holder() == p.processId())
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    // An automatic run over an empty folder: 0 when it ran, 1 when refused.
    int autoRunExitCode()
    {
        QDir(m_data.path()).mkpath(QStringLiteral("site"));
        {
            QSettings s(ini(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/DosLocal"), m_data.filePath(QStringLiteral("site")));
        }
        QProcess p;
        configure(p);
        p.setArguments({QStringLiteral("/auto")});
        p.start();
        if (!p.waitForFinished(30000))
            return -1;
        return p.exitCode();
    }

    static void kill(QProcess &p)
    {
        p.kill(); // SIGKILL on Unix: no chance to release the marker
        p.waitForFinished(10000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        QVERIFY(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner);
        QVERIFY2(QFile::exists(executable()), qPrintable(executable()));
    }

    void secondStartExitsWithOneAndSaysNothing()
    {
        QProcess premier;
        QVERIFY(startInteractive(premier));
        QProcess second;
        configure(second);
        second.start();
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(second.readAllStandardError(), QByteArray());
        QCOMPARE(premier.state(), QProcess::Running);
        kill(premier);
    }

    void refusedAutomaticRunSaysWhy()
    {
        QProcess premier;
        QVERIFY(startInteractive(premier));
        QDir(m_data.path()).mkpath(QStringLiteral("site"));
        QProcess second;
        configure(second);
        second.setArguments({QStringLiteral("/auto")});
        second.start();
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 1);
        // A scheduler that mails output mails this; the code alone says little.
        QCOMPARE(QString::fromUtf8(second.readAllStandardError()),
                 QStringLiteral("Nuvola est déjà lancé (processus %1) : transfert automatique "
                                "non fait\n")
                     .arg(premier.processId()));
        kill(premier);
    }

    void newStartSucceedsAfterTheHolderWasKilled()
    {
        QProcess premier;
        QVERIFY(startInteractive(premier));
        kill(premier);
        // A stale marker must not refuse every later start.
        QCOMPARE(autoRunExitCode(), 0);
    }

    // Starts racing for the marker: a scheduled run firing while the user opens
    // the window. Exactly one may win, the others must end at once, and a round
    // after a killed winner finds its stale marker.
    void startsTogetherLeaveExactlyOneHolder()
    {
        constexpr int kProcessus = 4;
        for (int tour = 0; tour < 3; ++tour) {
            std::vector<std::unique_ptr<QProcess>> processus;
            for (int i = 0; i < kProcessus; ++i) {
                processus.push_back(std::make_unique<QProcess>());
                configure(*processus.back());
            }
            for (auto &p : processus)
                p->start();
            QProcess *gagnant = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    for (auto &p : processus)
                        if (p->state() == QProcess::Running &&
                            SingleInstance::holder() == p->processId())
                            gagnant = p.get();
                    return gagnant != nullptr;
                }(),
                20000);
            for (auto &p : processus) {
                if (p.get() == gagnant)
                    continue;
                // The wait above may already have seen it end; waiting again would fail.
                QVERIFY2(p->state() == QProcess::NotRunning || p->waitForFinished(20000),
                         "a second instance kept running");
                QCOMPARE(p->exitCode(), 1);
            }
            QCOMPARE(gagnant->state(), QProcess::Running);
            kill(*gagnant);
        }
    }

#if defined(Q_OS_UNIX)
    void leftoverMarker_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<int>("ageSecondes");
        QTest::addColumn<int>("sortie");

        const QByteArray hote = QSysInfo::machineHostName().toUtf8();
        const QByteArray moi = QByteArray::number(QCoreApplication::applicationPid());
        // The holder's pid now belongs to another program: the marker is stale.
        QTest::newRow("pid reused by another program") << moi + "\nnuvola\n" + hote + "\n"
                                                       << 0 << 0;
        // Left half-written by a crash or a full disk, long ago.
        QTest::newRow("empty, old") << QByteArray() << 3600 << 0;
        QTest::newRow("garbage, old") << QByteArray("\x00\xff\xfe garbage\n", 12) << 3600 << 0;
        // Left by a crash before the clock was set back.
        QTest::newRow("empty, dated an hour ahead") << QByteArray() << -3600 << 0;
        // Just created by a start still writing its identity: not ours to take.
        QTest::newRow("empty, just created") << QByteArray() << 0 << 1;
    }

    void leftoverMarker()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(int, ageSecondes);
        QFETCH(int, sortie);

        QFile marqueur(SingleInstance::markerPath());
        // The earlier cases killed their holders and left stale markers behind.
        marqueur.remove();
        QVERIFY(marqueur.open(QIODevice::WriteOnly));
        QCOMPARE(marqueur.write(contenu), contenu.size());
        QVERIFY(marqueur.flush()); // a later flush would make the file new again
        QVERIFY(marqueur.setFileTime(QDateTime::currentDateTime().addSecs(-ageSecondes),
                                     QFileDevice::FileModificationTime));
        marqueur.close();

        const int code = autoRunExitCode();
        const bool resteLa = marqueur.exists();
        marqueur.remove();
        QCOMPARE(code, sortie);
        // A run that took the marker releases it at its end.
        QCOMPARE(resteLa, sortie == 1);
    }
#endif

    void automaticModeQuitsByItselfWithoutSavingTheForm()
    {
        {
            QSettings s(ini(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/Utilisateur"), QStringLiteral("station"));
            s.setValue(QStringLiteral("Config/DosLocal"),
                       m_data.filePath(QStringLiteral("absent")));
        }
        QProcess p;
        configure(p);
        p.setArguments({QStringLiteral("x"), QStringLiteral("/Auto")});
        p.start();
        QVERIFY(p.waitForFinished(30000));
        QSettings s(ini(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Utilisateur")).toString(),
                 QStringLiteral("station"));
        QVERIFY2(!s.contains(QStringLiteral("Config/Pass")),
                 "automatic mode must not write the form");
    }
};

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"
