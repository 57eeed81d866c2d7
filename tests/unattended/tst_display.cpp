#include "app/display.h"

#include "app/singleinstance.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(DecisionAffichage)

namespace {

QString executable()
{
    return QString::fromLocal8Bit(qgetenv("NUVOLA_EXE"));
}

} // namespace

class TestDisplay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_data;
    QTemporaryDir m_runtime;

    // The environment of a scheduler on a machine without a screen.
    void sansEcran(QProcess &p)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_data.path());
        // Without it Qt itself warns on standard error.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        p.setProcessEnvironment(env);
        p.setProgram(executable());
    }

    static void requireUnixDisplayRule()
    {
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
        QSKIP("Windows and macOS always have a display");
#endif
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        QVERIFY(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner);
    }

    void unixRule_data()
    {
        QTest::addColumn<QString>("qpa");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("disponible");
        const QString vide;
        const QString x11 = QStringLiteral(":0");
        const QString wl = QStringLiteral("wayland-0");
        const QString off = QStringLiteral("offscreen");
        QTest::newRow("nothing") << vide << vide << vide << false;
        QTest::newRow("X11") << vide << x11 << vide << true;
        QTest::newRow("Wayland") << vide << vide << wl << true;
        QTest::newRow("X11 and Wayland") << vide << x11 << wl << true;
        QTest::newRow("platform chosen") << off << vide << vide << true;
        QTest::newRow("platform and X11") << off << x11 << vide << true;
        QTest::newRow("platform and Wayland") << off << vide << wl << true;
        QTest::newRow("all three") << off << x11 << wl << true;
        QTest::newRow("remote X11") << vide << QStringLiteral("host:10.0") << vide << true;
    }
    void unixRule()
    {
        QFETCH(QString, qpa);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(bool, disponible);
        QCOMPARE(affichageDisponible(qpa, display, wayland), disponible);
    }

    void environment_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<bool>("disponible");
        QTest::newRow("none set") << QStringList{} << false;
        QTest::newRow("all empty")
            << QStringList{QStringLiteral("QT_QPA_PLATFORM="), QStringLiteral("DISPLAY="),
                           QStringLiteral("WAYLAND_DISPLAY=")}
            << false;
        QTest::newRow("DISPLAY") << QStringList{QStringLiteral("DISPLAY=:1")} << true;
        QTest::newRow("WAYLAND_DISPLAY")
            << QStringList{QStringLiteral("WAYLAND_DISPLAY=wayland-1")} << true;
        QTest::newRow("QT_QPA_PLATFORM")
            << QStringList{QStringLiteral("QT_QPA_PLATFORM=minimal")} << true;
        QTest::newRow("empty DISPLAY, set Wayland")
            << QStringList{QStringLiteral("DISPLAY="), QStringLiteral("WAYLAND_DISPLAY=w")} << true;
        QTest::newRow("unrelated variable")
            << QStringList{QStringLiteral("XDISPLAY=:0"), QStringLiteral("HOME=/root")} << false;
    }
    void environment()
    {
        requireUnixDisplayRule();
        QFETCH(QStringList, variables);
        QFETCH(bool, disponible);
        QProcessEnvironment env;
        for (const QString &v : variables) {
            const qsizetype egal = v.indexOf(QLatin1Char('='));
            env.insert(v.left(egal), v.mid(egal + 1));
        }
        QCOMPARE(affichageDisponible(env), disponible);
    }

    void decision_data()
    {
        QTest::addColumn<bool>("disponible");
        QTest::addColumn<bool>("modeAuto");
        QTest::addColumn<DecisionAffichage>("decision");
        QTest::newRow("display, interactive") << true << false << DecisionAffichage::Continuer;
        QTest::newRow("display, automatic") << true << true << DecisionAffichage::Continuer;
        QTest::newRow("no display, automatic") << false << true << DecisionAffichage::HorsEcran;
        QTest::newRow("no display, interactive") << false << false << DecisionAffichage::Refuser;
    }
    void decision()
    {
        QFETCH(bool, disponible);
        QFETCH(bool, modeAuto);
        QFETCH(DecisionAffichage, decision);
        QCOMPARE(decisionAffichage(disponible, modeAuto), decision);
    }

    void platformOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("choisie");
        const QString prog = QStringLiteral("nuvola");
        QTest::newRow("none") << QStringList{prog} << false;
        QTest::newRow("single dash")
            << QStringList{prog, QStringLiteral("-platform"), QStringLiteral("offscreen")} << true;
        QTest::newRow("double dash")
            << QStringList{prog, QStringLiteral("--platform"), QStringLiteral("vnc")} << true;
        QTest::newRow("after /auto")
            << QStringList{prog, QStringLiteral("/auto"), QStringLiteral("-platform"),
                           QStringLiteral("xcb")}
            << true;
        QTest::newRow("other option")
            << QStringList{prog, QStringLiteral("-platformtheme"), QStringLiteral("gtk3")} << false;
        QTest::newRow("program path only") << QStringList{QStringLiteral("-platform")} << false;
        QTest::newRow("empty list") << QStringList{} << false;
    }
    void platformOption()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, choisie);
        QCOMPARE(plateformeChoisie(arguments), choisie);
    }

    void interactiveWithoutDisplayExplainsAndStops()
    {
        requireUnixDisplayRule();
        QVERIFY2(QFile::exists(executable()), qPrintable(executable()));
        QProcess p;
        sansEcran(p);
        p.start();
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), codeSansAffichage);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 QStringLiteral("Nuvola : aucun écran disponible. Sans fenêtre, lancez « nuvola "
                                "/auto » pour un transfert automatique.\n"));
        // It stopped before taking the marker or touching the settings.
        QVERIFY(!QFile::exists(m_data.filePath(QStringLiteral("Nuvola.ini"))));
    }

    void automaticWithoutDisplayRunsSilently()
    {
        requireUnixDisplayRule();
        QVERIFY2(QFile::exists(executable()), qPrintable(executable()));
        const QString site = m_data.filePath(QStringLiteral("site"));
        QVERIFY(QDir().mkpath(site));
        {
            QSettings s(m_data.filePath(QStringLiteral("Nuvola.ini")), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/DosLocal"), site);
        }
        QProcess p;
        sansEcran(p);
        p.setArguments({QStringLiteral("/auto")});
        p.start();
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(p.readAllStandardError(), QByteArray());
        // The run took place: nothing to send still records its start.
        QSettings s(m_data.filePath(QStringLiteral("Nuvola.ini")), QSettings::IniFormat);
        QVERIFY(s.value(QStringLiteral("Config/Date")).toLongLong() > 0);
    }

    void automaticUnderCronNeedsNoRuntimeFolder()
    {
        // cron sets no XDG_RUNTIME_DIR; Qt's warning about it would be
        // mailed after every successful run.
        requireUnixDisplayRule();
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString site = m_data.filePath(QStringLiteral("site"));
        QVERIFY(QDir().mkpath(site));
        {
            QSettings s(m_data.filePath(QStringLiteral("Nuvola.ini")), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/DosLocal"), site);
        }
        QProcess p;
        sansEcran(p);
        QProcessEnvironment env = p.processEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("TMPDIR"), temp.path());
        p.setProcessEnvironment(env);
        p.setArguments({QStringLiteral("/auto")});
        p.start();
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(p.readAllStandardError(), QByteArray());
        const QFileInfoList dossiers =
            QDir(temp.path()).entryInfoList({QStringLiteral("nuvola-runtime-*")}, QDir::Dirs);
        QCOMPARE(dossiers.size(), 1);
        QCOMPARE(dossiers.first().permissions() &
                     ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void automaticPlatforms_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("plateformes");
        QTest::newRow("X11") << QStringLiteral(":0") << QString()
                             << QStringLiteral("xcb;offscreen");
        QTest::newRow("Wayland") << QString() << QStringLiteral("wayland-0")
                                 << QStringLiteral("wayland;offscreen");
        QTest::newRow("both") << QStringLiteral(":0") << QStringLiteral("wayland-0")
                              << QStringLiteral("xcb;wayland;offscreen");
        QTest::newRow("neither") << QString() << QString() << QStringLiteral("offscreen");
    }
    void automaticPlatforms()
    {
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QString, plateformes);
        QCOMPARE(plateformesAutomatiques(display, wayland), plateformes);
    }

    void automaticWithAGoneDisplayStillRuns()
    {
        // DISPLAY=:0 in a cron line, once the user has logged out: the display
        // it names cannot be opened.
        requireUnixDisplayRule();
        const QString site = m_data.filePath(QStringLiteral("site"));
        QVERIFY(QDir().mkpath(site));
        {
            QSettings s(m_data.filePath(QStringLiteral("Nuvola.ini")), QSettings::IniFormat);
            s.setValue(QStringLiteral("Config/DosLocal"), site);
            s.setValue(QStringLiteral("Config/Date"), 1000);
        }
        QProcess p;
        sansEcran(p);
        QProcessEnvironment env = p.processEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
        env.insert(QStringLiteral("XAUTHORITY"), m_data.filePath(QStringLiteral("aucun")));
        p.setProcessEnvironment(env);
        p.setArguments({QStringLiteral("/auto")});
        p.start();
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QSettings s(m_data.filePath(QStringLiteral("Nuvola.ini")), QSettings::IniFormat);
        QVERIFY(s.value(QStringLiteral("Config/Date")).toLongLong() > 1000);
    }

    void platformOptionStartsInteractiveWithoutDisplay()
    {
        requireUnixDisplayRule();
        QProcess p;
        sansEcran(p);
        p.setArguments({QStringLiteral("-platform"), QStringLiteral("offscreen")});
        p.start();
        QVERIFY(p.waitForStarted(10000));
        // The application object was built: the running instance holds the marker.
        bool tenu = false;
        QTRY_VERIFY_WITH_TIMEOUT(p.state() != QProcess::Running ||
                                     (tenu = SingleInstance::holder() == p.processId()),
                                 20000);
        p.kill();
        p.waitForFinished(10000);
        QVERIFY2(tenu, p.readAllStandardError().constData());
    }
};

QTEST_GUILESS_MAIN(TestDisplay)
#include "tst_display.moc"
