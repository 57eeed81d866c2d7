#pragma once

#include <QSharedMemory>
#include <QString>

// The create-or-fail marker that keeps a second copy of the program from
// running. It is held for the life of the object.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &key = defaultKey());
    bool acquire();

    static QString defaultKey();

private:
    QSharedMemory m_memoire;
};
