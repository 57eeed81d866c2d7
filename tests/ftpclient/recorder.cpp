#include "recorder.h"

Recorder::Recorder(FtpClient *client) : QObject(client)
{
    connect(client, &FtpClient::stateChanged, this,
            [this](int s) { events << QStringLiteral("state %1").arg(s); });
    connect(client, &FtpClient::commandStarted, this, [this, client](int id) {
        events << QStringLiteral("start %1").arg(id);
        startedCommands << client->currentCommand();
        errorsAtStart << client->error();
    });
    connect(client, &FtpClient::commandFinished, this, [this, client](int id, bool failed) {
        events << QStringLiteral("end %1 %2")
                      .arg(id)
                      .arg(failed ? QStringLiteral("fail") : QStringLiteral("ok"));
        finishedCommands << client->currentCommand();
    });
    connect(client, &FtpClient::done, this, [this](bool failed) {
        events << (failed ? QStringLiteral("done fail") : QStringLiteral("done ok"));
        ++doneCount;
        lastDoneError = failed;
    });
    connect(client, &FtpClient::dataTransferProgress, this, [this](qint64 sent, qint64 total) {
        progress.append({sent, total});
    });
}

int Recorder::count(const QString &prefix) const
{
    int n = 0;
    for (const QString &e : events)
        n += e.startsWith(prefix) ? 1 : 0;
    return n;
}
