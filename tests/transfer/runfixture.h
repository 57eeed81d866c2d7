#pragma once

#include "app/fenprincipale.h"
#include "testftpserver.h"
#include "testtree.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QVariant>
#include <memory>

// One transfer run through the real window against the real test server:
// a fresh data folder, a local site and a settings file that points at both.
struct RunFixture
{
    TemporaryDataHome data;
    QTemporaryDir site;
    TestFtpServer serveur;
    std::unique_ptr<FenPrincipale> fenetre;

    // Seconds since the epoch that the local files are older than "now" by.
    static qint64 ilYa(qint64 secondes) { return QDateTime::currentSecsSinceEpoch() - secondes; }

    QString local(const QString &relatif = QString()) const
    {
        return relatif.isEmpty() ? site.path() : site.filePath(relatif);
    }

    bool startServer(const QStringList &args = {})
    {
        if (!serveur.start(args))
            return false;
        return makeDir(serveur.serverFilePath(QStringLiteral("www")));
    }

    // Writes the settings the window reads at construction, then builds it.
    void ouvrir(const QMap<QString, QVariant> &autres = {})
    {
        {
            QSettings s(settingsFilePath(), QSettings::IniFormat);
            s.beginGroup(QStringLiteral("Config"));
            s.setValue(QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
            s.setValue(QStringLiteral("Port"), serveur.port());
            s.setValue(QStringLiteral("Utilisateur"), serveur.user());
            s.setValue(QStringLiteral("Pass"), serveur.password());
            s.setValue(QStringLiteral("DosServeur"), QStringLiteral("www"));
            s.setValue(QStringLiteral("DosLocal"), local());
            s.setValue(QStringLiteral("binaire"), QStringLiteral("gif;jpg;png;"));
            s.setValue(QStringLiteral("DosExclu"), QStringLiteral("xxxx;"));
            s.setValue(QStringLiteral("Date"), 0);
            for (auto it = autres.cbegin(); it != autres.cend(); ++it)
                s.setValue(it.key(), it.value());
        }
        fenetre = std::make_unique<FenPrincipale>();
        DelaisFtp delais;
        delais.envoi = 20000; // a stalled upload in a test ends well before this
        fenetre->setDelaisFtp(delais);
    }

    QString journal() const { return fenetre->findChild<QTextEdit *>()->toPlainText(); }
    QString dateEnregistree() const
    {
        QSettings s(settingsFilePath(), QSettings::IniFormat);
        return s.value(QStringLiteral("Config/Date")).toString();
    }
    // "Nuvola.log" beside the settings file, line ends as "\n".
    QString journalFichier() const
    {
        QFile f(QFileInfo(settingsFilePath()).absolutePath() + QStringLiteral("/Nuvola.log"));
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(f.readAll()).remove(QLatin1Char('\r'));
    }
    QPushButton *bouton() const
    {
        const auto boutons = fenetre->centralWidget()->findChildren<QPushButton *>();
        for (QPushButton *b : boutons)
            if (b->text() != QLatin1String("..."))
                return b;
        return nullptr;
    }
    QStatusBar *barre() const { return fenetre->statusBar(); }
    QSystemTrayIcon *tray() const { return fenetre->findChild<QSystemTrayIcon *>(); }
    FtpClient *client() const { return fenetre->findChild<FtpClient *>(); }
};
