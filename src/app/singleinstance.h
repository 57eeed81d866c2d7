#pragma once

#include <QString>

#include <memory>

#if defined(Q_OS_UNIX)
class QLockFile;
#else
class QSharedMemory;
#endif

// The create-or-fail marker that keeps a second copy of the program from
// running. It is held for the life of the object and released by the system
// when the process dies, however it dies.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &key = defaultKey());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False only when a living instance holds the marker. A marker that cannot
    // be written at all does not stop the program: refusing every start
    // forever would be worse than the rare second copy.
    bool acquire();

    static QString defaultKey();
    // The process id the holder wrote into the marker, 0 when there is none.
    static qint64 holder(const QString &key = defaultKey());
#if defined(Q_OS_UNIX)
    static QString markerPath(const QString &key = defaultKey());
#endif

private:
#if defined(Q_OS_UNIX)
    std::unique_ptr<QLockFile> m_verrou;
#else
    std::unique_ptr<QSharedMemory> m_memoire;
#endif
};
