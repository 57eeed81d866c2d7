#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QtGlobal>

#include <cstdio>

#if defined(Q_OS_UNIX)
#include <unistd.h>
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

// The toolkit's shared memory does not do: on Unix it is a System V segment
// guarded by a System V semaphore that every create() resets, and instances
// starting together can leave that semaphore at zero with no holder, so every
// later start blocks forever, scheduled runs included; on Windows it is named
// in the session's own namespace, so a scheduled run in the background
// session does not see the window open on the desktop, and both send the same
// files at once. A lock file is atomic to create, carries the holder's process
// id, is recognised as stale once that process is gone, and sits in the
// user's temporary folder whatever session the process runs in. One per
// user, so no other account's file in a shared temporary folder can refuse
// our starts.

QString sansSignes(const QString &texte)
{
    QString nom;
    for (const QChar c : texte)
        if (c.isLetterOrNumber() || c == QLatin1Char('-'))
            nom += c;
    return nom;
}

QString utilisateur()
{
#if defined(Q_OS_UNIX)
    return QString::number(::getuid());
#else
    return sansSignes(qEnvironmentVariable("USERNAME"));
#endif
}

QString cheminVerrou(const QString &cle)
{
    return QDir::tempPath() +
           QStringLiteral("/nuvola-%1-%2.lock").arg(utilisateur(), sansSignes(cle));
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
    // Either way: a clock set back since the crash dates the file in the
    // future, and the program must not be refused until the clock catches up.
    return info.exists() &&
           qAbs(info.lastModified().secsTo(QDateTime::currentDateTime())) > kVerrouIlliblePerime;
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
