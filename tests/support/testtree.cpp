#include "testtree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

bool setOpenFileMtime(QFile &file, qint64 mtimeSecs)
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(mtimeSecs, Qt::UTC);
    // Buffered bytes written at close would move the time again.
    return file.flush() && file.setFileTime(time, QFileDevice::FileModificationTime);
}

bool hasMtime(const QString &path, qint64 mtimeSecs)
{
    const QFileInfo info(path);
    return info.exists() &&
           info.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch() == mtimeSecs;
}

} // namespace

bool writeFile(const QString &path, const QByteArray &content, qint64 mtimeSecs)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(content) != content.size() || !setOpenFileMtime(file, mtimeSecs))
        return false;
    file.close();
    return hasMtime(path, mtimeSecs);
}

bool setMtime(const QString &path, qint64 mtimeSecs)
{
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    // Windows needs write access to change a time; opening for read and write
    // neither truncates nor touches the file.
    if (!file.open(QIODevice::ReadWrite) && !file.open(QIODevice::ReadOnly))
        return false;
    if (!setOpenFileMtime(file, mtimeSecs))
        return false;
    file.close();
    return hasMtime(path, mtimeSecs);
}

bool makeDir(const QString &path)
{
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

bool makeSymlink(const QString &target, const QString &link)
{
#ifdef Q_OS_WIN
    Q_UNUSED(target)
    Q_UNUSED(link)
    return false;
#else
    if (!QDir().mkpath(QFileInfo(link).absolutePath()))
        return false;
    return QFile::link(target, link) && QFileInfo(link).isSymLink();
#endif
}

bool makeHidden(const QString &path)
{
    if (!QFileInfo::exists(path))
        return false;
#ifdef Q_OS_WIN
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        !SetFileAttributesW(native.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN))
        return false;
#endif
    return QFileInfo(path).isHidden();
}
