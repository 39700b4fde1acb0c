#include "dictation/PrivateTempDir.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateTempDir {

QString base()
{
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty() && QDir(value).exists())
            return QDir::cleanPath(value);
    }
    return QStringLiteral("/tmp");
}

Result<QString> ensureFolder(const QString& name)
{
    const QString path = base() + QLatin1Char('/') + name;
    const QByteArray native = QFile::encodeName(path);

    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        return QuorError{QStringLiteral("Could not create folder %1: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        return QuorError{QStringLiteral("Could not read folder %1: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
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
        return QuorError{QStringLiteral("Could not make %1 private: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    return path;
}

} // namespace PrivateTempDir
