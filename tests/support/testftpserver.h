#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class TestCertificates;

// The test FTP server (tests/support/ftpserver.py) run as a child process on
// the loopback address, serving a fresh temporary folder to one account. Extra
// arguments switch on its faults (see the script's --help); the --tls-*
// ones turn on explicit FTPS (AUTH TLS, PBSZ, PROT), see startTls().
class TestFtpServer : public QObject
{
    Q_OBJECT

public:
    explicit TestFtpServer(QObject *parent = nullptr);
    ~TestFtpServer() override;

    // Starts the server and waits (at most 10 s) until it listens. A server
    // already running is stopped first and its folder removed. On failure
    // errorString() says why.
    bool start(const QStringList &extraArgs = {});
    // The same, but serving `root` (created if missing), which the caller owns
    // and which outlives this server: a second server can then take over the
    // files a first one received.
    bool startOnRoot(const QString &root, const QStringList &extraArgs = {});
    // Starts with explicit TLS, presenting the certificate `name` of
    // `certificates` (which must outlive the start only). Plain FTP stays
    // allowed unless extraArgs has "--tls-required"; "--tls-require-reuse"
    // refuses (522) a data connection that does not resume the session's TLS
    // session; "--tls-handshake-delay MS" holds each handshake, as one more
    // round trip; "--tls-version 1.2|1.3" pins the version.
    bool startTls(const TestCertificates &certificates,
                  const QString &name = QStringLiteral("good"), const QStringList &extraArgs = {});
    // The arguments startTls() adds, for startOnRoot() or start().
    static QStringList tlsArgs(const TestCertificates &certificates,
                               const QString &name = QStringLiteral("good"));
    void stop();
    bool isRunning() const;

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    QString rootPath() const;
    QString user() const { return QStringLiteral("nuvola"); }
    QString password() const { return QStringLiteral("secret"); }
    QString errorString() const { return m_error; }

    // Commands received since the start or the last clearCommands(), oldest
    // first, PASS's argument shown as "****".
    QStringList commands() const;
    QStringList commandsOfSession(int session) const;
    // Numbers (from 1) of the sessions that sent a command, in order.
    QList<int> sessions() const;
    void clearCommands();

    QString serverFilePath(const QString &rel) const;
    // Empty when the file is missing; see serverFileExists().
    QByteArray serverFileContent(const QString &rel) const;
    bool serverFileExists(const QString &rel) const;

private:
    struct LogLine
    {
        int session;
        QString command;
    };
    QList<LogLine> logLines() const;
    bool startServing(const QStringList &extraArgs);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root; // empty: the "root" folder inside m_dir
    QProcess m_process;
    QString m_host;
    quint16 m_port = 0;
    qint64 m_logOffset = 0;
    QString m_error;
};
