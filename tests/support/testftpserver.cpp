#include "testftpserver.h"
#include "testcertificates.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

QString commandLogPath(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("commands.log"));
}

QString setting(const char *variable, const char *fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

// The value that follows `option` in `args`, or an empty string.
QString optionValue(const QStringList &args, const QString &option)
{
    const QString prefix = option + QLatin1Char('=');
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == option && i + 1 < args.size())
            return args.at(i + 1);
        if (args.at(i).startsWith(prefix))
            return args.at(i).mid(prefix.size());
    }
    return {};
}

} // namespace

TestFtpServer::TestFtpServer(QObject *parent) : QObject(parent)
{
    // Server warnings land in the test's own output, where a failure is read.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TestFtpServer::~TestFtpServer()
{
    stop();
}

bool TestFtpServer::start(const QStringList &extraArgs)
{
    stop();
    m_root.clear();
    return startServing(extraArgs);
}

bool TestFtpServer::startOnRoot(const QString &root, const QStringList &extraArgs)
{
    stop();
    m_root = root;
    return startServing(extraArgs);
}

bool TestFtpServer::startTls(const TestCertificates &certificates, const QString &name,
                             const QStringList &extraArgs)
{
    return start(tlsArgs(certificates, name) + extraArgs);
}

QStringList TestFtpServer::tlsArgs(const TestCertificates &certificates, const QString &name)
{
    return {QStringLiteral("--tls-cert"), certificates.path(name), QStringLiteral("--tls-key"),
            certificates.keyPath(name)};
}

bool TestFtpServer::startServing(const QStringList &extraArgs)
{
    m_port = 0;
    m_logOffset = 0;
    m_error.clear();
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: ") + m_dir->errorString();
        return false;
    }

    const QString python = setting("NUVOLA_TEST_PYTHON", NUVOLA_TEST_PYTHON_DEFAULT);
    const QString script = setting("NUVOLA_TEST_SERVER", NUVOLA_TEST_SERVER_DEFAULT);
    QStringList args{script, QStringLiteral("--root"), rootPath(), QStringLiteral("--user"), user(),
                     QStringLiteral("--password"), password(), QStringLiteral("--log"),
                     commandLogPath(*m_dir),
                     // The server ends with the test process even when the
                     // test crashes, since its standard input then closes.
                     QStringLiteral("--quit-on-eof")};
    m_host = optionValue(extraArgs, QStringLiteral("--host"));
    if (m_host.isEmpty()) {
        m_host = QStringLiteral("127.0.0.1");
        args << QStringLiteral("--host") << m_host;
    }
    if (optionValue(extraArgs, QStringLiteral("--port")).isEmpty())
        args << QStringLiteral("--port") << QStringLiteral("0");
    args << extraArgs;

    m_process.start(python, args);
    if (!m_process.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("cannot run %1: %2").arg(python, m_process.errorString());
        return false;
    }

    const QDeadlineTimer deadline(startTimeoutMs);
    QByteArray pending;
    while (true) {
        pending += m_process.readAllStandardOutput();
        const qsizetype end = pending.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            bool ok = false;
            const uint port = line.startsWith("PORT ") ? line.mid(5).toUInt(&ok) : 0;
            if (ok && port > 0 && port <= 65535) {
                m_port = static_cast<quint16>(port);
                return true;
            }
            m_error =
                QStringLiteral("unexpected first line from the server: ") + QString::fromUtf8(line);
            break;
        }
        if (m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("the server ended before listening (exit code %1)")
                          .arg(m_process.exitCode());
            break;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("the server did not listen within %1 ms").arg(startTimeoutMs);
            break;
        }
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    stop();
    return false;
}

void TestFtpServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMs);
    }
}

bool TestFtpServer::isRunning() const
{
    return m_process.state() == QProcess::Running && m_port != 0;
}

QString TestFtpServer::rootPath() const
{
    if (!m_root.isEmpty())
        return m_root;
    return m_dir ? m_dir->filePath(QStringLiteral("root")) : QString();
}

QList<TestFtpServer::LogLine> TestFtpServer::logLines() const
{
    QList<LogLine> lines;
    if (!m_dir)
        return lines;
    QFile file(commandLogPath(*m_dir));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_logOffset))
        return lines;
    const QByteArray data = file.readAll();
    qsizetype begin = 0;
    // A line still being written has no end yet and is left for later.
    for (qsizetype end = data.indexOf('\n'); end >= 0; end = data.indexOf('\n', begin)) {
        const QString line = QString::fromUtf8(data.mid(begin, end - begin));
        begin = end + 1;
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        bool ok = false;
        const int session = space > 0 ? line.left(space).toInt(&ok) : 0;
        if (ok)
            lines.append({session, line.mid(space + 1)});
    }
    return lines;
}

QStringList TestFtpServer::commands() const
{
    QStringList result;
    const QList<LogLine> lines = logLines();
    for (const LogLine &line : lines)
        result.append(line.command);
    return result;
}

QStringList TestFtpServer::commandsOfSession(int session) const
{
    QStringList result;
    const QList<LogLine> lines = logLines();
    for (const LogLine &line : lines) {
        if (line.session == session)
            result.append(line.command);
    }
    return result;
}

QList<int> TestFtpServer::sessions() const
{
    QList<int> result;
    const QList<LogLine> lines = logLines();
    for (const LogLine &line : lines) {
        if (!result.contains(line.session))
            result.append(line.session);
    }
    return result;
}

void TestFtpServer::clearCommands()
{
    if (!m_dir)
        return;
    QFile file(commandLogPath(*m_dir));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    // Only whole lines are skipped: the server may be half-way through one.
    m_logOffset = data.lastIndexOf('\n') + 1;
}

QString TestFtpServer::serverFilePath(const QString &rel) const
{
    QString relative = QDir::cleanPath(rel);
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return relative.isEmpty() ? rootPath() : rootPath() + QLatin1Char('/') + relative;
}

QByteArray TestFtpServer::serverFileContent(const QString &rel) const
{
    QFile file(serverFilePath(rel));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool TestFtpServer::serverFileExists(const QString &rel) const
{
    return QFileInfo(serverFilePath(rel)).isFile();
}
