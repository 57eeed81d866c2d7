#pragma once

#include "ftpclient.h"

#include <QList>
#include <QObject>
#include <QStringList>

// Writes down every signal of one client, in order, as short texts such as
// "state 3", "start 2", "end 2 fail", "done ok", so that a test can compare
// whole sequences. Progress goes to its own list.
class Recorder : public QObject
{
    Q_OBJECT

public:
    explicit Recorder(FtpClient *client);

    QStringList events;
    QList<QPair<qint64, qint64>> progress;
    int doneCount = 0;
    bool lastDoneError = false;
    // What the client said about itself while each command started and ended.
    QList<FtpClient::Command> startedCommands;
    QList<FtpClient::Command> finishedCommands;
    QList<FtpClient::Error> errorsAtStart;

    int count(const QString &prefix) const;
};
