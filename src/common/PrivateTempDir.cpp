#include "common/PrivateTempDir.h"

#include "common/PrivateTempPath.h"

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

} // namespace

QString base()
{
    return QFile::decodeName(QByteArray::fromStdString(PrivateTempPath::base()));
}

QString folderPath(const QString& name)
{
    const QByteArray native = QFile::encodeName(name);
    return QFile::decodeName(QByteArray::fromStdString(
        PrivateTempPath::folderPath(std::string_view(native.constData(), size_t(native.size())))));
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
