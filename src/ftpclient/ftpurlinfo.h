#pragma once

#include <QDateTime>
#include <QString>

// What a listing line tells of one remote entry; carried by FtpClient::listInfo.
struct FtpUrlInfo
{
    QString name;
    qint64 size = -1;
    bool isDir = false;
    bool isFile = false;
    QDateTime lastModified;
};
