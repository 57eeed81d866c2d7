#include "testcertificates.h"

#include <QFile>
#include <QProcess>

namespace {

constexpr int makeTimeoutMs = 20000;

QString setting(const char *variable, const char *fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

} // namespace

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: ") + m_dir.errorString();
        return;
    }
    const QString python = setting("NUVOLA_TEST_PYTHON", NUVOLA_TEST_PYTHON_DEFAULT);
    const QString script = setting("NUVOLA_TEST_MAKECERTS", NUVOLA_TEST_MAKECERTS_DEFAULT);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python, {script, m_dir.path()});
    if (!process.waitForStarted(makeTimeoutMs)) {
        m_error = QStringLiteral("cannot run %1: %2").arg(python, process.errorString());
        return;
    }
    if (!process.waitForFinished(makeTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        m_error = QStringLiteral("%1 did not finish within %2 ms").arg(script).arg(makeTimeoutMs);
        return;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed (exit code %2): %3")
                      .arg(script)
                      .arg(process.exitCode())
                      .arg(QString::fromLocal8Bit(process.readAll()).trimmed());
        return;
    }

    QFile file(m_dir.filePath(QStringLiteral("fingerprints.txt")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_error = QStringLiteral("no fingerprints.txt: ") + file.errorString();
        return;
    }
    m_fingerprintLines =
        QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &name : names()) {
        if (fingerprint(name).isEmpty() || certificate(name).isNull()) {
            m_error = QStringLiteral("the certificate \"%1\" is missing or unreadable").arg(name);
            return;
        }
    }
}

QStringList TestCertificates::names()
{
    return {QStringLiteral("ca"),          QStringLiteral("good"),    QStringLiteral("selfsigned"),
            QStringLiteral("selfsigned2"), QStringLiteral("expired"), QStringLiteral("wrongname")};
}

QString TestCertificates::path(const QString &name) const
{
    return m_dir.filePath(name + QStringLiteral(".pem"));
}

QString TestCertificates::keyPath(const QString &name) const
{
    return m_dir.filePath(name + QStringLiteral(".key"));
}

QSslCertificate TestCertificates::certificate(const QString &name) const
{
    if (!names().contains(name))
        return QSslCertificate();
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path(name));
    return certificates.isEmpty() ? QSslCertificate() : certificates.first();
}

QString TestCertificates::fingerprint(const QString &name) const
{
    const QString prefix = name + QLatin1Char(' ');
    for (const QString &line : m_fingerprintLines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return {};
}
