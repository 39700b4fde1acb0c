#pragma once

#include <string>
#include <string_view>

// Where PrivateTempDir's folders live, worked out with the standard library and POSIX alone:
// the command-line front, which has no Qt, must find the instance's socket where the app put
// it. PrivateTempDir (which also creates and checks the folders) takes its paths from here.
namespace PrivateTempPath {

// $XDG_RUNTIME_DIR, else $TMPDIR (the first that names a folder), else /tmp; cleaned, without
// a trailing slash.
std::string base();

// See PrivateTempDir::folderPath.
std::string folderPath(std::string_view name);

inline constexpr std::string_view appFolderName = "QuorDictation";

} // namespace PrivateTempPath
