#include "testvsftpd.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;
constexpr int startAttempts = 3;
constexpr int passivePorts = 100;
const QByteArray commandMark = "FTP command: Client \"";

QString vsftpdExecutable()
{
    const QString configured = qEnvironmentVariable("NUVOLA_TEST_VSFTPD");
    if (!configured.isEmpty())
        return QFileInfo(configured).isExecutable() ? configured : QString();
    QString found = QStandardPaths::findExecutable(QStringLiteral("vsftpd"));
    if (found.isEmpty()) {
        // sbin folders are often missing from a user's PATH.
        found = QStandardPaths::findExecutable(
            QStringLiteral("vsftpd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                       QStringLiteral("/usr/local/sbin")});
    }
    return found;
}

// The system account vsftpd switches to for anonymous sessions.
QString anonymousAccount()
{
#ifdef Q_OS_UNIX
    for (const char *name : {"ftp", "nobody"}) {
        if (getpwnam(name) != nullptr)
            return QString::fromLatin1(name);
    }
#endif
    return {};
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

TestVsftpd::TestVsftpd(QObject *parent) : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
#ifdef Q_OS_LINUX
    // The listener goes with the test process, even when that one crashes.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
}

TestVsftpd::~TestVsftpd()
{
    stop();
}

QString TestVsftpd::unavailableReason()
{
#ifndef Q_OS_UNIX
    return QStringLiteral("vsftpd runs on Unix only");
#else
    if (vsftpdExecutable().isEmpty())
        return QStringLiteral("vsftpd is not installed");
    if (geteuid() != 0)
        return QStringLiteral("vsftpd needs root");
    if (anonymousAccount().isEmpty())
        return QStringLiteral("no \"ftp\" nor \"nobody\" account for vsftpd's anonymous sessions");
    return {};
#endif
}

bool TestVsftpd::start(const QString &certPem, const QString &keyPem,
                       const QStringList &extraConfig)
{
    const QString cert = QFileInfo(certPem).absoluteFilePath();
    const QString key = QFileInfo(keyPem).absoluteFilePath();
    if (!QFileInfo(cert).isReadable() || !QFileInfo(key).isReadable()) {
        stop();
        m_error = QStringLiteral("cannot read the certificate or key: %1, %2").arg(cert, key);
        return false;
    }
    // Written out even where they are the defaults: these are what the tests
    // rely on, whatever a vsftpd build defaults to.
    const QStringList tls{QStringLiteral("ssl_enable=YES"),
                          QStringLiteral("rsa_cert_file=") + cert,
                          QStringLiteral("rsa_private_key_file=") + key,
                          QStringLiteral("allow_anon_ssl=YES"),
                          QStringLiteral("force_anon_logins_ssl=YES"),
                          QStringLiteral("force_anon_data_ssl=YES"),
                          QStringLiteral("require_ssl_reuse=YES"),
                          QStringLiteral("ssl_sslv2=NO"),
                          QStringLiteral("ssl_sslv3=NO"),
                          QStringLiteral("ssl_tlsv1=YES"),
                          QStringLiteral("ssl_ciphers=HIGH")};
    return launch(tls, extraConfig);
}

bool TestVsftpd::startPlain(const QStringList &extraConfig)
{
    return launch({QStringLiteral("ssl_enable=NO")}, extraConfig);
}

bool TestVsftpd::launch(const QStringList &tlsConfig, const QStringList &extraConfig)
{
    stop();
    m_port = 0;
    m_logOffset = 0;
    m_error = unavailableReason();
    if (!m_error.isEmpty())
        return false;
    m_account = anonymousAccount();
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: ") + m_dir->errorString();
        return false;
    }
    if (!prepareFolders())
        return false;

    const QString program = vsftpdExecutable();
    for (int attempt = 1; attempt <= startAttempts; ++attempt) {
        const quint16 port = freePort();
        const auto passiveMin =
            static_cast<quint16>(QRandomGenerator::global()->bounded(40000, 59000));
        if (port == 0 || !writeConfig(port, passiveMin, tlsConfig, extraConfig)) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("no free port on 127.0.0.1");
            return false;
        }
        m_process.start(program, {configPath()});
        if (!m_process.waitForStarted(startTimeoutMs)) {
            m_error = QStringLiteral("cannot run %1: %2").arg(program, m_process.errorString());
            return false;
        }
        m_port = port;
        if (waitReady())
            return true;
        const QString output = QString::fromLocal8Bit(m_process.readAll()).trimmed();
        stop();
        m_port = 0;
        // Another process took the port between the probe and vsftpd's bind.
        if (!output.contains(QLatin1String("could not bind")) || attempt == startAttempts) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("vsftpd did not start: ") + output;
            return false;
        }
        m_error.clear();
    }
    return false;
}

bool TestVsftpd::prepareFolders()
{
#ifdef Q_OS_UNIX
    const QString empty = m_dir->filePath(QStringLiteral("empty"));
    const QString upload = uploadPath();
    if (!QDir().mkpath(empty) || !QDir().mkpath(upload)) {
        m_error = QStringLiteral("cannot create the served folders");
        return false;
    }
    // vsftpd refuses a root its sessions could write to: the root stays
    // root's, only "upload" belongs to the anonymous account.
    const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther;
    const struct passwd *account = getpwnam(m_account.toLatin1().constData());
    if (account == nullptr || !QFile::setPermissions(rootPath(), open) ||
        !QFile::setPermissions(empty, open) || !QFile::setPermissions(upload, open) ||
        chown(QFile::encodeName(upload).constData(), account->pw_uid, account->pw_gid) != 0) {
        m_error = QStringLiteral("cannot give the upload folder to the account ") + m_account;
        return false;
    }
    return true;
#else
    m_error = unavailableReason();
    return false;
#endif
}

bool TestVsftpd::writeConfig(quint16 port, quint16 passiveMin, const QStringList &tlsConfig,
                             const QStringList &extraConfig)
{
    QStringList lines{
        QStringLiteral("listen=YES"),
        QStringLiteral("listen_ipv6=NO"),
        QStringLiteral("listen_address=127.0.0.1"),
        QStringLiteral("listen_port=%1").arg(port),
        QStringLiteral("background=NO"),
        QStringLiteral("anonymous_enable=YES"),
        QStringLiteral("local_enable=NO"),
        QStringLiteral("write_enable=YES"),
        QStringLiteral("anon_upload_enable=YES"),
        QStringLiteral("anon_mkdir_write_enable=YES"),
        QStringLiteral("anon_other_write_enable=YES"),
        QStringLiteral("anon_world_readable_only=NO"),
        QStringLiteral("anon_umask=022"),
        QStringLiteral("anon_root=") + rootPath(),
        QStringLiteral("no_anon_password=YES"),
        QStringLiteral("ftp_username=") + m_account,
        QStringLiteral("secure_chroot_dir=") + m_dir->filePath(QStringLiteral("empty")),
        QStringLiteral("seccomp_sandbox=NO"),
        // Namespaces are often not allowed in containers.
        QStringLiteral("isolate=NO"),
        QStringLiteral("isolate_network=NO"),
        QStringLiteral("pasv_enable=YES"),
        QStringLiteral("pasv_address=127.0.0.1"),
        QStringLiteral("pasv_min_port=%1").arg(passiveMin),
        QStringLiteral("pasv_max_port=%1").arg(passiveMin + passivePorts - 1),
        QStringLiteral("connect_from_port_20=NO"),
        QStringLiteral("max_clients=0"),
        QStringLiteral("max_per_ip=0"),
        QStringLiteral("delay_failed_login=0"),
        QStringLiteral("delay_successful_login=0"),
        QStringLiteral("log_ftp_protocol=YES"),
        QStringLiteral("xferlog_enable=YES"),
        QStringLiteral("xferlog_std_format=NO"),
        QStringLiteral("vsftpd_log_file=") + logPath(),
        QStringLiteral("dual_log_enable=NO"),
        QStringLiteral("syslog_enable=NO"),
        QStringLiteral("use_localtime=NO"),
    };
    lines << tlsConfig << extraConfig;
    QFile file(configPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) ||
        file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1: %2").arg(configPath(), file.errorString());
        return false;
    }
    return true;
}

bool TestVsftpd::waitReady()
{
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(host(), m_port);
        if (probe.waitForConnected(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            QByteArray greeting;
            while (!greeting.contains('\n') && probe.waitForReadyRead(static_cast<int>(
                                                   qMax<qint64>(1, deadline.remainingTime()))))
                greeting += probe.readAll();
            if (!greeting.startsWith("220")) {
                m_error = QStringLiteral("unexpected greeting from vsftpd: ") +
                          QString::fromUtf8(greeting).trimmed();
                return false;
            }
            // The probe's session is logged in full before vsftpd closes it,
            // so commands() can start after it.
            probe.write("QUIT\r\n");
            if (probe.state() != QAbstractSocket::UnconnectedState)
                probe.waitForDisconnected(
                    static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
            m_logOffset = QFileInfo(logPath()).size();
            return true;
        }
        // Not listening yet: vsftpd may still be reading its configuration.
        m_process.waitForFinished(20);
    }
    if (m_process.state() == QProcess::Running)
        m_error = QStringLiteral("vsftpd did not answer within %1 ms").arg(startTimeoutMs);
    return false;
}

void TestVsftpd::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMs);
    }
}

bool TestVsftpd::isRunning() const
{
    return m_process.state() == QProcess::Running && m_port != 0;
}

QString TestVsftpd::rootPath() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("root")) : QString();
}

QString TestVsftpd::uploadPath() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("root/upload")) : QString();
}

QString TestVsftpd::configPath() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("vsftpd.conf")) : QString();
}

QString TestVsftpd::logPath() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("vsftpd.log")) : QString();
}

QStringList TestVsftpd::logLines() const
{
    QStringList lines;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_logOffset))
        return lines;
    const QByteArray data = file.readAll();
    // A line still being written has no end yet and is left for later.
    const qsizetype end = data.lastIndexOf('\n');
    if (end < 0)
        return lines;
    const QList<QByteArray> raw = data.left(end).split('\n');
    for (const QByteArray &line : raw)
        lines.append(QString::fromUtf8(line));
    return lines;
}

QStringList TestVsftpd::commands() const
{
    // ... [pid 12] [ftp] FTP command: Client "127.0.0.1", "STOR a.txt"
    QStringList result;
    const QStringList lines = logLines();
    const QString mark = QString::fromLatin1(commandMark);
    const QString separator = QStringLiteral("\", \"");
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(mark);
        if (at < 0 || !line.endsWith(QLatin1Char('"')))
            continue;
        const qsizetype begin = line.indexOf(separator, at + mark.size());
        if (begin >= 0)
            result.append(
                line.mid(begin + separator.size(), line.size() - 1 - begin - separator.size()));
    }
    return result;
}

void TestVsftpd::clearCommands()
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    m_logOffset = data.lastIndexOf('\n') + 1;
}
