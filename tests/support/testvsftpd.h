#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// The real vsftpd, started as a child process on 127.0.0.1 with its own
// configuration in a temporary folder: anonymous login without password
// ("anonymous", no PASS asked), uploads into the folder "upload" below the
// read-only root, passive ports on the loopback, and a protocol log. With a
// certificate, TLS is required on the control and data connections and every
// data connection must resume the control connection's TLS session, as
// vsftpd does by default.
//
// vsftpd needs root (it chroots into the root and switches to the system
// "ftp" account, or "nobody") and is often not installed: start() then fails
// with unavailableReason() as errorString(), for a QSKIP.
class TestVsftpd : public QObject
{
    Q_OBJECT

public:
    explicit TestVsftpd(QObject *parent = nullptr);
    ~TestVsftpd() override;

    // Empty when vsftpd can be started here; otherwise why not.
    static QString unavailableReason();

    // Starts with TLS (PEM certificate and key files) and waits (at most
    // 10 s) until it answers. extraConfig lines ("name=value") come last in
    // the configuration, so they override the defaults. A server already
    // running is stopped first and its folders removed.
    bool start(const QString &certPem, const QString &keyPem, const QStringList &extraConfig = {});
    // The same without TLS.
    bool startPlain(const QStringList &extraConfig = {});
    void stop();
    bool isRunning() const;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("anonymous"); }
    QString password() const { return QString(); }
    QString errorString() const { return m_error; }

    // The served root as seen on disk; it is read-only to clients.
    QString rootPath() const;
    // The writable folder: "upload" on the server, uploadPath() on disk.
    QString uploadFolder() const { return QStringLiteral("upload"); }
    QString uploadPath() const;
    QString configPath() const;
    QString logPath() const;

    // Commands vsftpd logged since the start (the readiness probe left out)
    // or the last clearCommands(), oldest first, as the client sent them.
    QStringList commands() const;
    // Every log line since then: commands, replies, logins, transfers.
    QStringList logLines() const;
    void clearCommands();

private:
    bool launch(const QStringList &tlsConfig, const QStringList &extraConfig);
    bool prepareFolders();
    bool writeConfig(quint16 port, quint16 passiveMin, const QStringList &tlsConfig,
                     const QStringList &extraConfig);
    bool waitReady();

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    qint64 m_logOffset = 0;
    QString m_account;
    QString m_error;
};
