// Whole runs through the real window with "Connexion sécurisée (FTPS)" on:
// the tree over TLS, certificates the user is asked about, a remembered
// certificate that changes, and a server that has no TLS.
#include "../transfer/runfixture.h"
#include "sanspassedroit.h"
#include "testcertificates.h"
#include "testvsftpd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

namespace {

// TLS mandatory on the control and data connections, as most hosts set it.
QStringList tlsArgs(const TestCertificates &certs, const QString &name)
{
    return TestFtpServer::tlsArgs(certs, name) << QStringLiteral("--tls-required");
}

QStringList arbre(const QString &racine)
{
    QStringList fichiers;
    QDirIterator it(racine, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        fichiers << QDir(racine).relativeFilePath(it.next());
    fichiers.sort();
    return fichiers;
}

QString empreinteEnregistree()
{
    QSettings s(settingsFilePath(), QSettings::IniFormat);
    return s.value(QStringLiteral("Config/FTPSEmpreinte")).toString();
}

// Answers the certificate question when it comes, and keeps what it said.
struct RepondeurCertificat
{
    bool confiance = false;
    int questions = 0;
    QString texte;
    QTimer minuterie;

    explicit RepondeurCertificat(bool accepter) : confiance(accepter)
    {
        minuterie.setInterval(20);
        QObject::connect(&minuterie, &QTimer::timeout, [this] {
            auto *boite = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!boite || boite->objectName() != QLatin1String("dialogueCertificat"))
                return;
            ++questions;
            texte = boite->text() + QLatin1Char('\n') + boite->informativeText();
            const QString nom =
                confiance ? QStringLiteral("boutonConfiance") : QStringLiteral("boutonRefus");
            boite->findChild<QAbstractButton *>(nom)->click();
        });
        minuterie.start();
    }
};

} // namespace

class TestFtpsRun : public QObject
{
    Q_OBJECT

    TestCertificates m_certs;

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(nuvola);
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QVERIFY2(m_certs.isValid(), qPrintable(m_certs.errorString()));
        // The test authority stands for the system's: the window uses the
        // toolkit's default configuration.
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.addCaCertificates(m_certs.caPath());
        QSslConfiguration::setDefaultConfiguration(conf);
    }

    void wholeTreeArrivesOverTls()
    {
        RunFixture f;
        QVERIFY2(f.startServer(tlsArgs(m_certs, QStringLiteral("good"))),
                 qPrintable(f.serveur.errorString()));
        const qint64 t = RunFixture::ilYa(60);
        QByteArray image(200000, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char((i * 31) ^ (i >> 7));
        QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), "<p>météo</p>\n", t));
        QVERIFY(writeFile(f.local(QStringLiteral("radar.png")), image, t));
        QVERIFY(writeFile(f.local(QStringLiteral("2026/déc/jour.htm")), "froid\n", t));
        QVERIFY(writeFile(f.local(QStringLiteral("2026/déc/jour.png")), image.left(999), t));
        f.ouvrir({{QStringLiteral("FTPS"), 1}});
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 0);
        const QString www = f.serveur.serverFilePath(QStringLiteral("www"));
        const QStringList envoyes = arbre(www);
        QCOMPARE(envoyes, arbre(f.local()));
        for (const QString &rel : envoyes) {
            QFile local(f.local(rel));
            QVERIFY(local.open(QIODevice::ReadOnly));
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/") + rel), local.readAll());
        }
        QVERIFY2(f.journal().contains(QStringLiteral("Connexion chiffrée (TLS 1.")),
                 qPrintable(f.journal()));
        QVERIFY(f.journalFichier().contains(QStringLiteral("Connexion chiffrée (TLS 1.")));
        const QStringList commandes = f.serveur.commands();
        QCOMPARE(commandes.first(), QStringLiteral("AUTH TLS"));
        QVERIFY(commandes.contains(QStringLiteral("PROT P")));
        QVERIFY(!f.dateEnregistree().isEmpty());
        QVERIFY(empreinteEnregistree().isEmpty());
    }

    void wholeTreeArrivesOnVsftpd()
    {
        // A server that insists on the data connections resuming the session.
        TestVsftpd vsftpd;
        if (!vsftpd.start(m_certs.path(QStringLiteral("good")),
                          m_certs.keyPath(QStringLiteral("good"))))
            QSKIP(qPrintable(vsftpd.errorString()));
        RunFixture f;
        const qint64 t = RunFixture::ilYa(60);
        for (int i = 0; i < 6; ++i)
            QVERIFY(writeFile(f.local(QStringLiteral("d%1/page%2.htm").arg(i % 3).arg(i)),
                              QByteArray(3000 + i * 5000, char('a' + i)), t));
        QVERIFY(writeFile(f.local(QStringLiteral("radar.png")), QByteArray(90000, '\x7f'), t));
        f.ouvrir({{QStringLiteral("FTPS"), 1},
                  {QStringLiteral("Port"), vsftpd.port()},
                  {QStringLiteral("Utilisateur"), vsftpd.user()},
                  {QStringLiteral("Pass"), vsftpd.password()},
                  {QStringLiteral("DosServeur"), vsftpd.uploadFolder()}});
        f.fenetre->transfert();
        QVERIFY2(f.fenetre->codeSortie() == 0, qPrintable(f.journal()));
        const QStringList envoyes = arbre(vsftpd.uploadPath());
        QCOMPARE(envoyes, arbre(f.local()));
        for (const QString &rel : envoyes) {
            QFile local(f.local(rel)), distant(vsftpd.uploadPath() + QLatin1Char('/') + rel);
            QVERIFY(local.open(QIODevice::ReadOnly));
            QVERIFY(distant.open(QIODevice::ReadOnly));
            QCOMPARE(distant.readAll(), local.readAll());
        }
    }

    void certificateTheUserIsAskedAbout_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<bool>("confiance");
        QTest::addColumn<QString>("raison");
        const QString autoSigne = QStringLiteral("auto-signé");
        const QString expire = QStringLiteral("certificat expiré");
        const QString autreNom = QStringLiteral("autre nom que « 127.0.0.1 »");
        QTest::newRow("self-signed, trusted") << QStringLiteral("selfsigned") << true << autoSigne;
        QTest::newRow("self-signed, refused") << QStringLiteral("selfsigned") << false << autoSigne;
        QTest::newRow("expired, refused") << QStringLiteral("expired") << false << expire;
        QTest::newRow("expired, trusted") << QStringLiteral("expired") << true << expire;
        QTest::newRow("another host's, refused")
            << QStringLiteral("wrongname") << false << autreNom;
    }

    void certificateTheUserIsAskedAbout()
    {
        QFETCH(QString, cert);
        QFETCH(bool, confiance);
        QFETCH(QString, raison);
        RunFixture f;
        QVERIFY2(f.startServer(tlsArgs(m_certs, cert)), qPrintable(f.serveur.errorString()));
        QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), "bonjour\n", RunFixture::ilYa(60)));
        f.ouvrir({{QStringLiteral("FTPS"), 1}, {QStringLiteral("Date"), 1000}});
        RepondeurCertificat repondeur(confiance);
        f.fenetre->transfert();
        QCOMPARE(repondeur.questions, 1);
        const QString empreinte = m_certs.fingerprint(cert);
        QVERIFY2(repondeur.texte.contains(raison), qPrintable(repondeur.texte));
        QVERIFY2(repondeur.texte.contains(empreinte), qPrintable(repondeur.texte));
        QVERIFY(!repondeur.texte.contains(QStringLiteral("Attention")));
        QVERIFY2(f.journal().contains(QStringLiteral("Certificat du serveur refusé")),
                 qPrintable(f.journal()));
        if (confiance) {
            QCOMPARE(f.fenetre->codeSortie(), 0);
            QCOMPARE(empreinteEnregistree(), empreinte);
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/index.htm")),
                     QByteArray("bonjour\n"));
            QVERIFY(f.journal().contains(QStringLiteral("Certificat accepté")));
            // Accepted from now on without a question.
            QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), "encore\n",
                              QDateTime::currentSecsSinceEpoch() + 5));
            f.fenetre->transfert();
            QCOMPARE(repondeur.questions, 1);
            QCOMPARE(f.fenetre->codeSortie(), 0);
            QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/index.htm")),
                     QByteArray("encore\n"));
        } else {
            QCOMPARE(f.fenetre->codeSortie(), 2);
            QVERIFY(empreinteEnregistree().isEmpty());
            QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
            QVERIFY(!f.serveur.serverFileExists(QStringLiteral("www/index.htm")));
            QVERIFY(!f.serveur.commands().contains(QStringLiteral("USER nuvola")));
        }
    }

    void trustThatCannotBeRecordedStillServesTheRun()
    {
#ifndef Q_OS_LINUX
        QSKIP("permissions that deny writing are tested on Linux");
#else
        RunFixture f;
        QVERIFY2(f.startServer(tlsArgs(m_certs, QStringLiteral("selfsigned"))),
                 qPrintable(f.serveur.errorString()));
        QVERIFY(writeFile(f.local(QStringLiteral("index.htm")), "bonjour\n", RunFixture::ilYa(60)));
        f.ouvrir({{QStringLiteral("FTPS"), 1}, {QStringLiteral("Date"), 1000}});
        const QString ini = settingsFilePath();
        QVERIFY(QFile::setPermissions(ini, QFileDevice::ReadOwner));
        const auto rendre = qScopeGuard(
            [&] { QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner); });
        SansPasseDroit sansPasseDroit;
        QFile essai(ini);
        if (!sansPasseDroit.actif() || essai.open(QIODevice::ReadWrite))
            QSKIP("this process writes files whatever their permissions");
        RepondeurCertificat repondeur(true);
        f.fenetre->transfert();
        QCOMPARE(repondeur.questions, 1);
        // The user said yes: this run goes on, and the log tells why the
        // question may come again.
        QVERIFY2(f.journal().contains(
                     QStringLiteral("Empreinte non enregistrée (écriture impossible dans ")),
                 qPrintable(f.journal()));
        QCOMPARE(f.serveur.serverFileContent(QStringLiteral("www/index.htm")),
                 QByteArray("bonjour\n"));
        QCOMPARE(f.fenetre->codeSortie(), 2);
        QFile lu(ini);
        QVERIFY(lu.open(QIODevice::ReadOnly));
        const QByteArray contenu = lu.readAll();
        QVERIFY(!contenu.contains("FTPSEmpreinte"));
        QVERIFY(contenu.contains("Date=1000"));
#endif
    }

    void rememberedCertificateThatChangesIsAskedAgain()
    {
        RunFixture f;
        QVERIFY2(f.startServer(tlsArgs(m_certs, QStringLiteral("selfsigned"))),
                 qPrintable(f.serveur.errorString()));
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(60)));
        const QString premiere = m_certs.fingerprint(QStringLiteral("selfsigned"));
        // Stored as a user might have typed it.
        f.ouvrir({{QStringLiteral("FTPS"), 1},
                  {QStringLiteral("FTPSEmpreinte"), premiere.toLower()},
                  {QStringLiteral("Date"), 1000}});
        RepondeurCertificat repondeur(false);
        f.fenetre->transfert();
        QCOMPARE(repondeur.questions, 0);
        QCOMPARE(f.fenetre->codeSortie(), 0);

        const QString racine = f.serveur.rootPath();
        TestFtpServer autre;
        QVERIFY2(autre.startOnRoot(racine, tlsArgs(m_certs, QStringLiteral("selfsigned2"))),
                 qPrintable(autre.errorString()));
        f.fenetre.reset();
        f.ouvrir({{QStringLiteral("Port"), autre.port()}});
        const QString date = f.dateEnregistree();
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "b\n",
                          QDateTime::currentSecsSinceEpoch() + 5));
        f.fenetre->transfert();
        QCOMPARE(repondeur.questions, 1);
        QVERIFY2(repondeur.texte.contains(QStringLiteral("Attention")),
                 qPrintable(repondeur.texte));
        QVERIFY(repondeur.texte.contains(m_certs.fingerprint(QStringLiteral("selfsigned2"))));
        QCOMPARE(f.fenetre->codeSortie(), 2);
        QCOMPARE(empreinteEnregistree(), premiere.toLower());
        QCOMPARE(f.dateEnregistree(), date);
        QVERIFY(!autre.commands().contains(QStringLiteral("USER nuvola")));
    }

    void serverWithoutTlsFailsClearly()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        QVERIFY(writeFile(f.local(QStringLiteral("a.htm")), "a\n", RunFixture::ilYa(60)));
        f.ouvrir({{QStringLiteral("FTPS"), 1}, {QStringLiteral("Date"), 1000}});
        f.fenetre->transfert();
        QCOMPARE(f.fenetre->codeSortie(), 2);
        QVERIFY2(f.journal().contains(QStringLiteral("Le serveur refuse la connexion sécurisée")),
                 qPrintable(f.journal()));
        QVERIFY(f.journal().contains(QStringLiteral("Rien n'a été envoyé en clair.")));
        QCOMPARE(f.serveur.commands(), QStringList{QStringLiteral("AUTH TLS")});
        QCOMPARE(f.dateEnregistree(), QStringLiteral("1000"));
    }

    void optionIsSavedWithTheForm()
    {
        RunFixture f;
        QVERIFY(f.startServer());
        f.ouvrir({{QStringLiteral("FTPS"), 1}});
        QAction *ftps = nullptr;
        for (QAction *a : f.fenetre->findChildren<QAction *>())
            if (a->text() == QStringLiteral("Connexion sécurisée (FTPS)"))
                ftps = a;
        QVERIFY(ftps);
        QVERIFY(ftps->isChecked());
        ftps->setChecked(false);
        f.fenetre->Quitter();
        QSettings s(settingsFilePath(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Config/FTPS")).toString(), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestFtpsRun)
#include "tst_ftpsrun.moc"
