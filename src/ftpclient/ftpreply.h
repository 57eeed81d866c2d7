#pragma once

#include <QString>

// One complete server reply: its three-digit code and every line of it as
// received (line ends removed, lines joined by "\n"), so that an error report
// can quote the server word for word.
struct FtpReply
{
    int code = 0;
    QString text;

    bool isPreliminary() const { return code >= 100 && code < 200; }
    bool isCompletion() const { return code >= 200 && code < 300; }
    bool isIntermediate() const { return code >= 300 && code < 400; }
    bool isNegative() const { return code >= 400; }
};
