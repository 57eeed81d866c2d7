#pragma once

#include "ftpurlinfo.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>
#include <memory>

class QIODevice;

// Asynchronous FTP client driven by the event loop. Every command is queued and
// returns its id at once; commands run one after the other and report through
// signals that are always delivered from the event loop, never from inside the
// call that queued the command. The enumeration values are those the program's
// log and settings rely on and must not change.
class FtpClient : public QObject
{
    Q_OBJECT

public:
    enum State {
        Unconnected = 0,
        HostLookup = 1,
        Connecting = 2,
        Connected = 3,
        LoggedIn = 4,
        Closing = 5
    };
    Q_ENUM(State)

    enum Error {
        NoError = 0,
        UnknownError = 1,
        HostNotFound = 2,
        ConnectionRefused = 3,
        NotConnected = 4
    };
    Q_ENUM(Error)

    enum Command {
        None = 0,
        SetTransferMode = 1,
        SetProxy = 2,
        ConnectToHost = 3,
        Login = 4,
        Close = 5,
        List = 6,
        Cd = 7,
        Get = 8,
        Put = 9,
        Remove = 10,
        Mkdir = 11,
        Rmdir = 12,
        Rename = 13,
        RawCommand = 14
    };
    Q_ENUM(Command)

    enum TransferMode { Active = 0, Passive = 1 };
    Q_ENUM(TransferMode)

    enum TransferType { Binary = 0, Ascii = 1 };
    Q_ENUM(TransferType)

    // Why the last connection with TLS wanted did not end encrypted.
    enum TlsFailure {
        NoTlsFailure = 0,
        // The server answered AUTH TLS with a refusal: nothing was sent in clear.
        TlsRefused = 1,
        // The handshake broke for another reason than the certificate.
        TlsHandshakeFailed = 2,
        // The certificate could not be verified and was not the trusted one;
        // peerCertificate() and tlsErrors() tell which and why.
        TlsCertificateRejected = 3,
        // PBSZ or PROT P refused after the login: the data would go in clear.
        TlsProtectionRefused = 4
    };
    Q_ENUM(TlsFailure)

    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    int connectToHost(const QString &host, quint16 port = 21);
    int login(const QString &user = QString(), const QString &password = QString());
    int close();
    int cd(const QString &dir);
    int mkdir(const QString &dir);
    // Sends the whole remaining content of the open device `dev` (which must
    // outlive the command) as `file` in the current remote folder.
    int put(QIODevice *dev, const QString &file, TransferType type = Binary);
    // Asks the server for its current folder (PWD), reported as a RawCommand;
    // workingDirectory() then holds it.
    int pwd();

    // Stops the running command, drops every queued one.
    void abort();

    // Bound of the waits the client makes on its own (the last replies of an
    // aborted exchange, the answer to QUIT, the end of a broken transfer);
    // 10000 ms unless set. Tests shorten it.
    void setProtocolTimeout(int ms);

    // Explicit TLS (RFC 4217) for the connections opened from now on: AUTH TLS
    // right after the greeting, PBSZ 0 and PROT P after the login, and every
    // data connection encrypted with the control connection's session. There
    // is never a fallback to clear text.
    void setTlsEnabled(bool enabled);
    bool isTlsEnabled() const;
    // Authorities and protocol settings; the toolkit's default configuration
    // (the system's authorities) unless set.
    void setTlsConfiguration(const QSslConfiguration &configuration);
    // The SHA-256 digest of a certificate the user chose to trust: it is
    // accepted even when it cannot be verified. Empty: none.
    void setTrustedCertificateDigest(const QByteArray &sha256);

    bool isEncrypted() const;
    // The server's certificate of the last handshake, accepted or not.
    QSslCertificate peerCertificate() const;
    QList<QSslCertificate> peerCertificateChain() const;
    // What made the last handshake reject the certificate.
    QList<QSslError> tlsErrors() const;
    TlsFailure tlsFailure() const;
    // Protocol and cipher of the encrypted control connection, for the log.
    QString tlsDescription() const;

    int currentId() const;
    Command currentCommand() const;
    bool hasPendingCommands() const;
    State state() const;
    Error error() const;
    QString errorString() const;
    // The absolute folder the last successful pwd() named; empty when its
    // reply named none the client could read.
    QString workingDirectory() const;

signals:
    void stateChanged(int state);
    void listInfo(const FtpUrlInfo &info);
    void commandStarted(int id);
    void commandFinished(int id, bool error);
    void done(bool error);
    void dataTransferProgress(qint64 done, qint64 total);

private:
    class Private;
    std::unique_ptr<Private> d;
};
