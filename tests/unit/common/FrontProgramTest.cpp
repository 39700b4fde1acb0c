#include "common/FrontProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void makeFile(const QString& path, bool executable)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                   : QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

// Bindings that named the full app would load all of Qt on every key press.
TEST(FrontProgramTest, NamesTheFrontBesideTheAppElseTheAppItself)
{
    QTemporaryDir dir;
    const QString app = dir.filePath("wendlo-app");
    makeFile(app, true);
    EXPECT_EQ(FrontProgram::besideApp(app), app);

    makeFile(dir.filePath("wendlo"), false);
    EXPECT_EQ(FrontProgram::besideApp(app), app);

    QFile::remove(dir.filePath("wendlo"));
    QDir().mkdir(dir.filePath("wendlo"));
    EXPECT_EQ(FrontProgram::besideApp(app), app);

    QDir().rmdir(dir.filePath("wendlo"));
    makeFile(dir.filePath("wendlo"), true);
    EXPECT_EQ(FrontProgram::besideApp(app), dir.filePath("wendlo"));
}
