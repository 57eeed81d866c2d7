#include "singleinstance.h"

SingleInstance::SingleInstance(const QString &key) : m_memoire(key) {}

QString SingleInstance::defaultKey()
{
    return QStringLiteral("{3F2A9C14-5B7E-4e21-9D06-C8B4E17A5D92}");
}

bool SingleInstance::acquire()
{
    // On Unix a System V segment outlives a process that crashed while holding
    // it, and would refuse every later start. Attaching and detaching a segment
    // that no living process holds destroys it; one that is held survives, since
    // the holder is still attached, so two living instances still cannot run.
    {
        QSharedMemory sonde(m_memoire.key());
        if (sonde.attach())
            sonde.detach();
    }
    return m_memoire.create(4, QSharedMemory::ReadWrite);
}
