// Quitting during a run. Its own executable: once the application has been
// asked to quit, every later event loop of the process returns at once.
#include "runfixture.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

class TestQuitRun : public QObject
{
    Q_OBJECT

private slots:
    void quitDuringAnUploadStopsTheRunWithoutRecordingIt()
    {
        RunFixture f;
        QVERIFY(f.startServer({QStringLiteral("--stall-stor-after"), QStringLiteral("1000")}));
        QByteArray gros(3000000, 'x');
        QVERIFY(writeFile(f.local(QStringLiteral("gros.png")), gros, RunFixture::ilYa(10)));
        for (int i = 0; i < 5; ++i)
            QVERIFY(writeFile(f.local(QStringLiteral("p%1.htm").arg(i)), "p\n",
                              RunFixture::ilYa(20 + i)));
        f.ouvrir({{QStringLiteral("Date"), 1000}});
        bool quitte = false;
        QTimer sonde;
        sonde.setInterval(50);
        QObject::connect(&sonde, &QTimer::timeout, f.fenetre.get(), [&] {
            FtpClient *c = f.client();
            if (!quitte && c && c->currentCommand() == FtpClient::Put) {
                quitte = true;
                f.fenetre->Quitter();
            }
        });
        sonde.start();
        f.fenetre->transfert();
        QVERIFY(quitte);
        // Every wait returned at once: none of that may pass for a sent file.
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
        for (int i = 0; i < 5; ++i)
            QVERIFY(!f.serveur.serverFileExists(QStringLiteral("www/p%1.htm").arg(i)));
        QCOMPARE(f.fenetre->codeSortie(), 2);
        // The interactive quit still saved the form.
        QSettings s(settingsFilePath(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/Utilisateur")).toString(), f.serveur.user());
        QVERIFY(s.contains(QStringLiteral("Config/MiniChck")));
    }
};

QTEST_MAIN(TestQuitRun)
#include "tst_quitrun.moc"
