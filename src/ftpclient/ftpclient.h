#pragma once

#include "ftpurlinfo.h"

#include <QObject>
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

    // Stops the running command, drops every queued one.
    void abort();

    // Bound of the waits the client makes on its own (the last replies of an
    // aborted exchange, the answer to QUIT, the end of a broken transfer);
    // 10000 ms unless set. Tests shorten it.
    void setProtocolTimeout(int ms);

    int currentId() const;
    Command currentCommand() const;
    bool hasPendingCommands() const;
    State state() const;
    Error error() const;
    QString errorString() const;

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
