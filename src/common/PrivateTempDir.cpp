#include "common/PrivateTempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateTempDir {
namespace {

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether users other than us may create entries in `path`.
bool isShared(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Whether `path` exists as something we cannot use: a link, or another user's entry.
bool isClaimedByOthers(const QString& path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISLNK(info.st_mode) || info.st_uid != ::geteuid();
}

QString cacheHome()
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.isEmpty() && QDir::isAbsolutePath(cache))
        return QDir::cleanPath(cache);
    return QDir::homePath() + QStringLiteral("/.cache");
}

} // namespace

QString base()
{
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty() && QDir(value).exists())
            return QDir::cleanPath(value);
    }
    return QStringLiteral("/tmp");
}

QString folderPath(const QString& name)
{
    const QString dir = base();
    if (!isShared(dir))
        return dir + QLatin1Char('/') + name;
    const QString perUser =
        dir + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(::geteuid());
    if (!isClaimedByOthers(perUser))
        return perUser;
    return cacheHome() + QLatin1Char('/') + name;
}

Result<QString> ensureFolder(const QString& name)
{
    const QString path = folderPath(name);
    const QByteArray native = QFile::encodeName(path);

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QuorError{QStringLiteral("Could not create folder %1").arg(path)};
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QuorError{
            QStringLiteral("Could not create folder %1: %2").arg(path, systemReason())};
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0)
        return QuorError{QStringLiteral("Could not read folder %1: %2").arg(path, systemReason())};
    if (S_ISLNK(info.st_mode)) {
        return QuorError{QStringLiteral("Refusing to use %1: it is a symbolic link").arg(path)};
    }
    if (!S_ISDIR(info.st_mode)) {
        return QuorError{QStringLiteral("Refusing to use %1: it is not a folder").arg(path)};
    }
    if (info.st_uid != ::geteuid()) {
        return QuorError{
            QStringLiteral("Refusing to use %1: it belongs to another user").arg(path)};
    }
    if ((info.st_mode & 0777) != 0700 && ::chmod(native.constData(), 0700) != 0) {
        return QuorError{QStringLiteral("Could not make %1 private: %2").arg(path, systemReason())};
    }
    return path;
}

} // namespace PrivateTempDir
