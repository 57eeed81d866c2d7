#include "ftpclient.h"

#include "ftpclient_p.h"

#include <QTcpSocket>

namespace {

// CR, LF or NUL in an argument would end the command line early and let the
// rest travel as commands of its own.
bool breaksCommandLine(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

} // namespace

FtpClient::Private::Private(FtpClient *owner) : q(owner)
{
    kickTimer.setSingleShot(true);
    kickTimer.setInterval(0);
    QObject::connect(&kickTimer, &QTimer::timeout, q, [this] { process(); });
    drainTimer.setSingleShot(true);
    QObject::connect(&drainTimer, &QTimer::timeout, q, [this] { onDrainTimeout(); });
    closeTimer.setSingleShot(true);
    QObject::connect(&closeTimer, &QTimer::timeout, q, [this] {
        if (isRunning() && current->command == FtpClient::Close)
            finishClose();
    });
    dataGraceTimer.setSingleShot(true);
    QObject::connect(&dataGraceTimer, &QTimer::timeout, q, [this] {
        if (step == Step::WaitingForDataWindDown) {
            endWindDown();
            return;
        }
        if (isRunning() && step == Step::WaitingForStor && !putDataError.isEmpty()) {
            // The server never ended the broken transfer: its final reply is
            // still to come and must not be read as the next command's.
            awaitingReply = false;
            countStrayReply();
            fail(FtpClient::UnknownError, putDataError);
        }
    });
}

FtpClient::Private::~Private()
{
    // The client may be deleted from a slot called by one of its sockets:
    // the sockets go later, with their signals cut now.
    for (QTcpSocket *socket : {data, control}) {
        if (socket) {
            socket->disconnect();
            socket->setParent(nullptr);
            socket->abort();
            socket->deleteLater();
        }
    }
    if (deviceReadyRead)
        QObject::disconnect(deviceReadyRead);
    if (deviceFinished)
        QObject::disconnect(deviceFinished);
}

int FtpClient::Private::enqueue(FtpQueuedCommand command)
{
    command.id = nextId++;
    const int id = command.id;
    queue.append(std::move(command));
    doneOwed = true;
    kick();
    return id;
}

void FtpClient::Private::kick()
{
    // Work always starts from the event loop, so no signal is ever emitted
    // inside the call that queued a command.
    if (!kickTimer.isActive())
        kickTimer.start();
}

void FtpClient::Private::process()
{
    if (abortedPending) {
        abortedPending = false;
        if (abortCloses) {
            abortCloses = false;
            setState(FtpClient::Unconnected);
        }
        finishCurrent(FtpClient::UnknownError, FtpClient::tr("Aborted"), false);
        return;
    }
    continueQueue();
}

void FtpClient::Private::continueQueue()
{
    if (running)
        return;
    if (!queue.isEmpty()) {
        startHead();
        return;
    }
    emitDone();
}

void FtpClient::Private::startHead()
{
    current = queue.takeFirst();
    running = true;
    step = Step::Idle;
    error = FtpClient::NoError;
    errorString.clear();
    const int id = current->id;
    QPointer<FtpClient> alive(q);
    emit q->commandStarted(id);
    // A slot may have aborted the command, or deleted the client.
    if (!alive || !isRunning() || abortedPending || current->id != id)
        return;

    const FtpQueuedCommand &c = *current;
    if (breaksCommandLine(c.argument) || breaksCommandLine(c.secret)) {
        fail(FtpClient::UnknownError,
             FtpClient::tr("Refused to send an argument holding a line break or a NUL character"));
        return;
    }
    switch (c.command) {
    case FtpClient::ConnectToHost:
        beginConnect();
        return;
    case FtpClient::Close:
        if (!control) {
            // Nothing to close: the wanted state is reached already.
            setState(FtpClient::Unconnected);
            succeed();
            return;
        }
        break;
    case FtpClient::Put:
        if (!c.device) {
            fail(FtpClient::UnknownError, FtpClient::tr("No device to upload from"));
            return;
        }
        if (!c.device->isOpen() || !c.device->isReadable()) {
            fail(FtpClient::UnknownError,
                 FtpClient::tr("The device to upload from is not open for reading"));
            return;
        }
        if (c.argument.isEmpty()) {
            fail(FtpClient::UnknownError, FtpClient::tr("Empty remote file name"));
            return;
        }
        [[fallthrough]];
    default:
        if (!control || (state != FtpClient::Connected && state != FtpClient::LoggedIn)) {
            fail(FtpClient::NotConnected, FtpClient::tr("Not connected"));
            return;
        }
        break;
    }
    if (strayReplies > 0) {
        // Replies of an aborted exchange are still on their way; what is sent
        // now would otherwise be answered by them.
        step = Step::WaitingForDrain;
        if (c.command == FtpClient::Close)
            closeTimer.start(protocolTimeoutMs);
        return;
    }
    beginCommand();
}

void FtpClient::Private::beginCommand()
{
    switch (current->command) {
    case FtpClient::Login:
        beginLogin();
        break;
    case FtpClient::Cd:
        beginSimple("CWD");
        break;
    case FtpClient::Mkdir:
        beginSimple("MKD");
        break;
    case FtpClient::RawCommand:
        workingDirectory.clear();
        beginSimple("PWD");
        break;
    case FtpClient::Close:
        beginClose();
        break;
    case FtpClient::Put:
        beginPut();
        break;
    default:
        fail(FtpClient::UnknownError, FtpClient::tr("Unsupported command"));
        break;
    }
}

void FtpClient::Private::finishCurrent(FtpClient::Error code, const QString &text, bool dropQueue)
{
    // Once a slot aborted the command, the abort alone reports its end.
    if (!running || abortedPending)
        return;
    const bool failed = code != FtpClient::NoError;
    closeTimer.stop();
    dataGraceTimer.stop();
    if (current->command == FtpClient::Put)
        teardownData();
    step = Step::Idle;
    error = code;
    errorString = failed ? text : QString();
    lastFailed = failed;
    // Dropped before the signal, so that what a slot queues in answer to the
    // failure (a reconnection) survives and runs next.
    if (failed && dropQueue)
        queue.clear();
    finishing = true;
    const int id = current->id;
    QPointer<FtpClient> alive(q);
    emit q->commandFinished(id, failed);
    if (!alive)
        return;
    finishing = false;
    running = false;
    current.reset();
    continueQueue();
}

void FtpClient::Private::emitDone()
{
    if (!doneOwed)
        return;
    doneOwed = false;
    emit q->done(lastFailed);
}

void FtpClient::Private::setState(FtpClient::State newState)
{
    if (state == newState)
        return;
    state = newState;
    emit q->stateChanged(newState);
}

void FtpClient::Private::abort()
{
    if (!isRunning() || abortedPending) {
        if (queue.isEmpty())
            return;
        queue.clear();
        if (!abortedPending) {
            lastFailed = true;
            kick();
        }
        return;
    }
    queue.clear();
    closeTimer.stop();
    dataGraceTimer.stop();
    switch (step) {
    case Step::WaitingForTcpConnection:
    case Step::WaitingForGreeting220:
    case Step::WaitingForQuit:
    // A negotiation cut short would leave a connection that is neither clear
    // nor protected: it is closed, never reused.
    case Step::WaitingForAuthTls:
    case Step::WaitingForTlsHandshake:
    case Step::WaitingForPbsz:
    case Step::WaitingForProt:
        teardownControl();
        abortCloses = true;
        break;
    case Step::WaitingForStor:
        if (storAwaitsConnection()) {
            // Same reason as a data connection that fails at this point.
            teardownData();
            teardownControl();
            abortCloses = true;
            break;
        }
        abortTransfer();
        break;
    case Step::WaitingForType:
    case Step::WaitingForPassive:
    case Step::WaitingForDataConnection:
        abortTransfer();
        break;
    default:
        if (awaitingReply) {
            awaitingReply = false;
            countStrayReply();
        }
        break;
    }
    if (current->command == FtpClient::Close && control) {
        // An aborted close leaves no half-closed connection behind.
        teardownControl();
        abortCloses = true;
    }
    step = Step::Aborted;
    abortedPending = true;
    kick();
}

FtpClient::FtpClient(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this)) {}

FtpClient::~FtpClient() = default;

int FtpClient::connectToHost(const QString &host, quint16 port)
{
    FtpQueuedCommand c;
    c.command = ConnectToHost;
    c.argument = host;
    c.port = port;
    return d->enqueue(std::move(c));
}

int FtpClient::login(const QString &user, const QString &password)
{
    FtpQueuedCommand c;
    c.command = Login;
    c.argument = user;
    c.secret = password;
    return d->enqueue(std::move(c));
}

int FtpClient::close()
{
    FtpQueuedCommand c;
    c.command = Close;
    return d->enqueue(std::move(c));
}

int FtpClient::cd(const QString &dir)
{
    FtpQueuedCommand c;
    c.command = Cd;
    c.argument = dir;
    return d->enqueue(std::move(c));
}

int FtpClient::mkdir(const QString &dir)
{
    FtpQueuedCommand c;
    c.command = Mkdir;
    c.argument = dir;
    return d->enqueue(std::move(c));
}

int FtpClient::pwd()
{
    FtpQueuedCommand c;
    c.command = RawCommand;
    return d->enqueue(std::move(c));
}

int FtpClient::put(QIODevice *dev, const QString &file, TransferType type)
{
    FtpQueuedCommand c;
    c.command = Put;
    c.argument = file;
    c.device = dev;
    c.type = type;
    return d->enqueue(std::move(c));
}

void FtpClient::abort()
{
    d->abort();
}

void FtpClient::setProtocolTimeout(int ms)
{
    d->protocolTimeoutMs = qMax(1, ms);
}

int FtpClient::currentId() const
{
    return d->current ? d->current->id : 0;
}

FtpClient::Command FtpClient::currentCommand() const
{
    return d->current ? d->current->command : None;
}

bool FtpClient::hasPendingCommands() const
{
    return !d->queue.isEmpty();
}

FtpClient::State FtpClient::state() const
{
    return d->state;
}

FtpClient::Error FtpClient::error() const
{
    return d->error;
}

QString FtpClient::errorString() const
{
    return d->errorString;
}

QString FtpClient::workingDirectory() const
{
    return d->workingDirectory;
}
