#pragma once

#include "ftpreply.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Cuts the control connection's byte stream into replies (RFC 959 4.2).
// Bytes may arrive in any pieces; only complete lines are looked at. A line
// that cannot belong to a reply is a protocol error: the parser then stops
// for good, since nothing after it can be trusted to be in step.
class FtpReplyParser
{
public:
    // Bounds that keep a hostile or broken server from filling the memory.
    static constexpr int MaxLineLength = 8192;
    static constexpr int MaxReplyLines = 1000;

    // Returns false once a protocol error has been found (see errorString()).
    bool feed(const QByteArray &bytes);

    bool hasReply() const { return !m_replies.isEmpty(); }
    FtpReply takeReply() { return m_replies.takeFirst(); }

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    // True while part of a reply has been received but not its end.
    bool isInsideReply() const { return m_multiCode != 0 || !m_pending.isEmpty(); }

    void reset();

private:
    bool parseLine(const QByteArray &line);
    void fail(const QString &why);

    QByteArray m_pending;
    int m_multiCode = 0;
    QStringList m_lines;
    QList<FtpReply> m_replies;
    QString m_error;
};
