#pragma once

#include "ftpclient.h"

#include <QIODevice>
#include <QPointer>
#include <QString>

// One command waiting in the client's queue, with everything needed to run it
// later from the event loop.
struct FtpQueuedCommand
{
    int id = 0;
    FtpClient::Command command = FtpClient::None;
    // Host, user, folder or remote file name, by command.
    QString argument;
    // Password of a login.
    QString secret;
    quint16 port = 0;
    // The device of a put is the caller's; a guard tells if it went away.
    QPointer<QIODevice> device;
    FtpClient::TransferType type = FtpClient::Binary;
};
