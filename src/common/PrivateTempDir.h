#pragma once

#include "common/PrivateTempPath.h"
#include "common/QuorError.h"

#include <QString>

// The per-user private temporary directory: $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp.
// Recordings and the log hold private speech and text, so folders made there are 0700.
namespace PrivateTempDir {

// The base directory, without a trailing slash. Read from the environment on every call.
QString base();

// Where the folder `name` lives. In a base that other users can write to (/tmp), the name
// carries the user id ("QuorDictation-1000"), so that nobody else's folder stands in the
// way; should another user have taken even that name, the folder moves to the user's own
// cache directory ($XDG_CACHE_HOME, else ~/.cache), where nobody else can write.
QString folderPath(const QString& name);

// `folderPath(name)`, created with mode 0700 if missing. Refuses, with a message that names
// the path, a folder that is a symlink, not a directory, or owned by another user; an
// existing folder of ours with wider permissions is narrowed to 0700.
Result<QString> ensureFolder(const QString& name);

// Wendlo's own folder there: recordings, the log, the self-test's prompt, the instance lock
// and socket.
inline QString appFolderName()
{
    return QString::fromLatin1(PrivateTempPath::appFolderName.data(),
                               qsizetype(PrivateTempPath::appFolderName.size()));
}
inline Result<QString> ensureAppFolder() { return ensureFolder(appFolderName()); }

} // namespace PrivateTempDir
