// Starts the real executable: one instance at a time, automatic mode quitting
// by itself and never saving the form.
#include "app/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <QTest>

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

    // Starts an interactive instance and waits until it holds the marker.
    // Attaching from here cannot release it: the holder stays attached.
    bool startInteractive(QProcess &p)
    {
        configure(p);
        p.start();
        if (!p.waitForStarted(10000))
            return false;
        for (int essai = 0; essai < 200 && p.state() == QProcess::Running; ++essai) {
            // A fresh object each time: one remembers the system key it first derived.
            QSharedMemory marqueur(SingleInstance::defaultKey());
            if (marqueur.attach()) {
                marqueur.detach();
                return true;
            }
            QTest::qWait(50);
        }
        return false;
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
        QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    | QFileDevice::ExeOwner);
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

    void newStartSucceedsAfterTheHolderWasKilled()
    {
        QProcess premier;
        QVERIFY(startInteractive(premier));
        kill(premier);
        // An empty local folder: the run has nothing to send and succeeds.
        QVERIFY(QDir(m_data.path()).mkpath(QStringLiteral("site")));
        {
            QSettings s(ini(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/DosLocal"), m_data.filePath(QStringLiteral("site")));
        }
        // A stale marker must not refuse every later start.
        QProcess apres;
        configure(apres);
        apres.setArguments({QStringLiteral("/auto")});
        apres.start();
        QVERIFY(apres.waitForFinished(30000));
        QCOMPARE(apres.exitCode(), 0);
    }

    void automaticModeQuitsByItselfWithoutSavingTheForm()
    {
        {
            QSettings s(ini(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/Utilisateur"), QStringLiteral("station"));
            s.setValue(QStringLiteral("Config/DosLocal"), m_data.filePath(QStringLiteral("absent")));
        }
        QProcess p;
        configure(p);
        p.setArguments({QStringLiteral("x"), QStringLiteral("/Auto")});
        p.start();
        QVERIFY(p.waitForFinished(30000));
        QSettings s(ini(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Utilisateur")).toString(), QStringLiteral("station"));
        QVERIFY2(!s.contains(QStringLiteral("Config/Pass")), "automatic mode must not write the form");
    }
};

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"
