// ftpbench HOST PORT USER PASSWORD FILE [REMOTE_NAME]
// Uploads FILE in binary type and prints one line of key=value pairs:
// bytes, seconds (connection to close), MB/s and peak resident memory.
#include "ftpclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace {

// Peak resident set size in KiB, or -1 where the system does not tell.
qint64 peakRssKiB()
{
#ifdef Q_OS_LINUX
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
#endif
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 6) {
        err << "usage: ftpbench HOST PORT USER PASSWORD FILE [REMOTE_NAME]\n";
        return 2;
    }
    bool portOk = false;
    const uint port = args.at(2).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535) {
        err << "ftpbench: bad port " << args.at(2) << "\n";
        return 2;
    }
    QFile file(args.at(5));
    if (!file.open(QIODevice::ReadOnly)) {
        err << "ftpbench: cannot open " << args.at(5) << ": " << file.errorString() << "\n";
        return 2;
    }
    const QString remote = args.size() > 6 ? args.at(6) : QFileInfo(file).fileName();

    FtpClient client;
    QElapsedTimer clock;
    QString failure;
    QObject::connect(&client, &FtpClient::commandFinished, &app, [&](int, bool failed) {
        if (failed && failure.isEmpty())
            failure = client.errorString();
    });
    QObject::connect(&client, &FtpClient::done, &app, [&](bool) { app.quit(); });

    clock.start();
    client.connectToHost(args.at(1), static_cast<quint16>(port));
    client.login(args.at(3), args.at(4));
    client.put(&file, remote, FtpClient::Binary);
    client.close();
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    if (!failure.isEmpty()) {
        err << "ftpbench: upload failed: " << failure << "\n";
        return 1;
    }
    const qint64 bytes = file.size();
    std::printf("bytes=%lld seconds=%.3f mbps=%.1f peak_rss_kib=%lld\n",
                static_cast<long long>(bytes), seconds, bytes / 1e6 / seconds,
                static_cast<long long>(peakRssKiB()));
    return 0;
}
