#include "singleinstance.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstdio>

#if defined(Q_OS_UNIX)
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <unistd.h>
#else
#include <QSharedMemory>
#include <cstring>
#endif

QString SingleInstance::defaultKey()
{
    return QStringLiteral("{3F2A9C14-5B7E-4e21-9D06-C8B4E17A5D92}");
}

namespace {

void avertir(const QString &raison)
{
    std::fprintf(stderr, "Nuvola : %s\n", raison.toLocal8Bit().constData());
}

} // namespace

#if defined(Q_OS_UNIX)

// The toolkit's shared memory is a System V segment here, guarded by a System
// V semaphore that every create() resets: instances starting together can
// leave that semaphore at zero with no holder, and every later start then
// blocks forever, scheduled runs included. A lock file is atomic to create,
// carries the holder's process id, and is recognised as stale once that
// process is gone. One per user, so no other account's file in the shared
// temporary folder can refuse our starts.
namespace {

QString cheminVerrou(const QString &cle)
{
    QString nom;
    for (const QChar c : cle)
        if (c.isLetterOrNumber() || c == QLatin1Char('-'))
            nom += c;
    return QDir::tempPath() +
           QStringLiteral("/nuvola-%1-%2.lock").arg(QString::number(::getuid()), nom);
}

// A holder writes its identity a few microseconds after creating the file,
// so one still unreadable after this long was left by a crash or a full disk.
constexpr qint64 kVerrouIlliblePerime = 10;

// 0 when the file is missing or holds no readable identity.
qint64 pidInscrit(const QLockFile &verrou)
{
    qint64 pid = 0;
    QString hote;
    QString application;
    return verrou.getLockInfo(&pid, &hote, &application) && pid > 0 ? pid : 0;
}

bool illisibleEtAncien(const QLockFile &verrou)
{
    if (pidInscrit(verrou) != 0)
        return false;
    const QFileInfo info(verrou.fileName());
    return info.exists() &&
           info.lastModified().secsTo(QDateTime::currentDateTime()) > kVerrouIlliblePerime;
}

// Two starts finding the same unreadable file must not both remove it: the
// second would delete the lock the first has just taken.
bool remplacerIllisible(QLockFile &verrou)
{
    QLockFile suppression(verrou.fileName() + QStringLiteral(".rmlock"));
    if (!suppression.tryLock(0))
        return false;
    return illisibleEtAncien(verrou) && verrou.removeStaleLockFile() && verrou.tryLock(0);
}

} // namespace

SingleInstance::SingleInstance(const QString &key)
    : m_verrou(std::make_unique<QLockFile>(cheminVerrou(key)))
{
    // Held for as long as the program runs: only a dead holder makes it stale.
    m_verrou->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    if (m_verrou->tryLock(0))
        return true;
    if (m_verrou->error() == QLockFile::LockFailedError)
        return illisibleEtAncien(*m_verrou) && remplacerIllisible(*m_verrou);
    avertir(QStringLiteral("impossible de créer le marqueur d'instance unique %1 ; "
                           "le programme démarre sans lui.")
                .arg(QDir::toNativeSeparators(m_verrou->fileName())));
    return true;
}

QString SingleInstance::markerPath(const QString &key)
{
    return cheminVerrou(key);
}

qint64 SingleInstance::holder(const QString &key)
{
    return pidInscrit(QLockFile(cheminVerrou(key)));
}

#else

// A named kernel object here: it disappears with its last holder, however the
// process ends, and it keeps the key the program has always used.
SingleInstance::SingleInstance(const QString &key) : m_memoire(std::make_unique<QSharedMemory>(key))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    if (m_memoire->create(sizeof(qint64), QSharedMemory::ReadWrite)) {
        const qint64 pid = QCoreApplication::applicationPid();
        m_memoire->lock();
        std::memcpy(m_memoire->data(), &pid, sizeof pid);
        m_memoire->unlock();
        return true;
    }
    if (m_memoire->error() == QSharedMemory::AlreadyExists)
        return false;
    avertir(QStringLiteral("impossible de créer le marqueur d'instance unique (%1) ; "
                           "le programme démarre sans lui.")
                .arg(m_memoire->errorString()));
    return true;
}

qint64 SingleInstance::holder(const QString &key)
{
    QSharedMemory memoire(key);
    if (!memoire.attach(QSharedMemory::ReadOnly))
        return 0;
    qint64 pid = 0;
    if (memoire.size() >= qsizetype(sizeof pid)) {
        memoire.lock();
        std::memcpy(&pid, memoire.constData(), sizeof pid);
        memoire.unlock();
    }
    memoire.detach();
    return pid;
}

#endif
