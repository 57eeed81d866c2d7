#pragma once

#include "ftpasciiencoder.h"
#include "ftpclient.h"
#include "ftpqueuedcommand.h"
#include "ftpreplyparser.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <optional>

class QTcpSocket;

// The state machine behind FtpClient. Each step is named after what it waits
// for; replies are routed to the step that sent the command, and replies that
// belong to an aborted exchange are counted and thrown away.
class FtpClient::Private
{
public:
    enum class Step {
        Idle,
        WaitingForDrain,
        WaitingForTcpConnection,
        WaitingForGreeting220,
        WaitingForAuthTls,
        WaitingForTlsHandshake,
        WaitingForFeat,
        WaitingForOptsUtf8,
        WaitingForUser,
        WaitingForPass,
        WaitingForPbsz,
        WaitingForProt,
        WaitingForCompletion,
        WaitingForQuit,
        WaitingForType,
        WaitingForPassive,
        WaitingForDataConnection,
        WaitingForStor,
        // After a refused STOR, the reply some servers add when its data
        // connection closes (see windDownRefusedData).
        WaitingForDataWindDown,
        Aborted
    };

    // Send buffer bounds of a put: memory stays near ChunkSize + HighWater
    // whatever the size of the file.
    static constexpr qint64 ChunkSize = 256 * 1024;
    static constexpr qint64 HighWater = 1024 * 1024;

    explicit Private(FtpClient *owner);
    ~Private();

    // Queue (ftpclient.cpp)
    int enqueue(FtpQueuedCommand command);
    void kick();
    void process();
    void continueQueue();
    void startHead();
    void beginCommand();
    // A failure drops the queue, except after abort(), which dropped it
    // already: what was queued since must run.
    void finishCurrent(FtpClient::Error code, const QString &text = QString(),
                       bool dropQueue = true);
    void fail(FtpClient::Error code, const QString &text) { finishCurrent(code, text); }
    void succeed() { finishCurrent(FtpClient::NoError); }
    void emitDone();
    void setState(FtpClient::State newState);
    void abort();
    bool isRunning() const { return running && !finishing; }

    // Control connection (ftpclientcontrol.cpp)
    void beginConnect();
    void beginLogin();
    void beginSimple(const char *verb);
    void beginClose();
    void finishClose();
    void sendLine(const QByteArray &verb, const QString &argument = QString());
    void onControlStateChanged(QAbstractSocket::SocketState socketState);
    void onControlConnected();
    void onControlReadyRead();
    void onControlError(QAbstractSocket::SocketError socketError);
    void onControlDisconnected();
    void onDrainTimeout();
    void dispatchReply(const FtpReply &reply);
    void handleReply(const FtpReply &reply);
    void handleFeat(const FtpReply &reply);
    void connectionLost(const QString &why);
    void protocolError(const QString &why);
    void teardownControl();
    void countStrayReply();

    // Explicit TLS (ftpclienttls.cpp)
    QTcpSocket *newSocket(bool encrypted);
    void beginAuthTls();
    void handleTlsReply(const FtpReply &reply);
    void onControlEncrypted();
    void onControlSslErrors(const QList<QSslError> &errors);
    void tlsFailed(FtpClient::TlsFailure why, const QString &text);
    void beginProtection();
    void startDataEncryption();
    void onDataSslErrors(const QList<QSslError> &errors);
    bool lightenDataSession(QSslConfiguration *configuration);
    bool dataReady() const;

    // Upload (ftpclientupload.cpp)
    void beginPut();
    void requestPassive();
    void handlePutReply(const FtpReply &reply);
    void connectData(quint16 port);
    void sendStor();
    bool storAwaitsConnection() const;
    void onDataConnected();
    void onDataFailure(const QString &why);
    void pump();
    qint64 pendingDataBytes() const;
    void endDataStream();
    void failTransfer(const QString &why);
    bool windDownRefusedData(const QString &refusal);
    void endWindDown();
    void abortTransfer();
    void teardownData();

    FtpClient *q;

    QList<FtpQueuedCommand> queue;
    std::optional<FtpQueuedCommand> current;
    int nextId = 1;
    bool running = false;
    bool finishing = false;
    bool abortedPending = false;
    bool abortCloses = false;
    bool doneOwed = false;
    bool lastFailed = false;
    QTimer kickTimer;

    FtpClient::State state = FtpClient::Unconnected;
    FtpClient::Error error = FtpClient::NoError;
    QString errorString;
    QString workingDirectory;
    Step step = Step::Idle;

    QTcpSocket *control = nullptr;
    FtpReplyParser parser;
    bool awaitingReply = false;
    int strayReplies = 0;
    int protocolTimeoutMs = 10000;
    QTimer drainTimer;
    QTimer closeTimer;
    bool featUtf8 = false;
    bool featEpsv = false;
    // -1 until the first TYPE of the connection.
    int transferType = -1;

    bool tlsWanted = false;
    // The connection in progress was opened with TLS wanted.
    bool tlsSession = false;
    std::optional<QSslConfiguration> tlsBase;
    QByteArray trustedDigest;
    // Optional, since merely building a certificate loads the TLS backend,
    // which a plain FTP session never needs.
    std::optional<QSslCertificate> acceptedCertificate;
    QList<QSslCertificate> tlsChain;
    QList<QSslError> tlsErrorList;
    FtpClient::TlsFailure tlsFailure = FtpClient::NoTlsFailure;
    // The control connection's session as last seen, and the same without
    // the server's certificate (empty where it cannot be made so).
    QByteArray controlSession;
    QByteArray lightSession;
    // The data connection in progress offers the light session.
    bool dataSessionLight = false;

    QTcpSocket *data = nullptr;
    QTimer dataGraceTimer;
    QMetaObject::Connection deviceReadyRead;
    QMetaObject::Connection deviceFinished;
    FtpAsciiEncoder encoder;
    QByteArray readBuffer;
    qint64 putTotal = -1;
    qint64 putDone = 0;
    bool putUsingEpsv = false;
    bool storSent = false;
    QElapsedTimer storClock;
    // A data connection of this control connection has worked: the passive
    // ports are reachable, so the STOR may go out while the next one is
    // still being set up.
    bool dataPathProven = false;
    bool dataConnected = false;
    bool putStreaming = false;
    bool putSendingDone = false;
    QString putDataError;
    QString putRefusal;
};
