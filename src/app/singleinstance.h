#pragma once

#include <QString>

#include <memory>

class QLockFile;

// The create-or-fail marker that keeps a second copy of the program from
// running. It is held for the life of the object; one left by a process that
// died, however it died, is taken over by the next start.
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
    static QString markerPath(const QString &key = defaultKey());

private:
    std::unique_ptr<QLockFile> m_verrou;
};
