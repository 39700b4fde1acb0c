#pragma once

#include "common/QuorError.h"

#include <QString>
#include <QtGlobal>

#include <atomic>

// The kernel's cache of file contents. Blocking calls, made off the main thread.
class PageCache
{
public:
    struct Warmed
    {
        qint64 fileBytes = 0;
        qint64 cachedBefore = 0; // bytes of the file that were in the cache already
        qint64 bytesRead = 0;    // 0 when it was all there
    };

    virtual ~PageCache() = default;

    // Brings all of `path` into the cache at idle I/O priority, so that it yields to every
    // other reader and writer; returns once it is there, or soon after `stop` is set.
    virtual Result<Warmed> warm(const QString& path, const std::atomic<bool>& stop) = 0;
    // Memory the kernel can hand out without swapping, in bytes; 0 when unknown.
    virtual qint64 availableMemory() = 0;
};
