#include "common/PrivateTempPath.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateTempPath {
namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Lexically: no "." or ".." parts, no doubled or trailing slash (as QDir::cleanPath).
std::string cleaned(const std::string& path)
{
    std::string text = std::filesystem::path(path).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool isFolder(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether users other than us may create entries in `path`.
bool isShared(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
        return false;
    return info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Whether `path` exists as something we cannot use: a link, or another user's entry.
bool isClaimedByOthers(const std::string& path)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0)
        return false;
    return S_ISLNK(info.st_mode) || info.st_uid != ::geteuid();
}

std::string cacheHome()
{
    const std::string cache = variable("XDG_CACHE_HOME");
    if (!cache.empty() && cache.front() == '/')
        return cleaned(cache);
    // As QDir::homePath: $HOME, else the root.
    const std::string home = variable("HOME");
    return (home.empty() ? std::string("/") : cleaned(home)) + "/.cache";
}

} // namespace

std::string base()
{
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const std::string value = variable(name);
        if (!value.empty() && isFolder(value))
            return cleaned(value);
    }
    return "/tmp";
}

std::string folderPath(std::string_view name)
{
    const std::string dir = base();
    if (!isShared(dir))
        return dir + '/' + std::string(name);
    const std::string perUser = dir + '/' + std::string(name) + '-' + std::to_string(::geteuid());
    if (!isClaimedByOthers(perUser))
        return perUser;
    return cacheHome() + '/' + std::string(name);
}

} // namespace PrivateTempPath
