#include "common/FrontProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace FrontProgram {

QString path()
{
    return besideApp(QCoreApplication::applicationFilePath());
}

QString besideApp(const QString& executable)
{
    const QFileInfo front(QFileInfo(executable).dir().filePath(QStringLiteral("wendlo")));
    if (front.isFile() && front.isExecutable())
        return front.filePath();
    return executable;
}

} // namespace FrontProgram
