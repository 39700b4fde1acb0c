#pragma once

#include "platform/PageCache.h"

// Linux: residency from mincore(2), the read at the idle I/O class (ioprio_set, which only
// schedulers with priority classes honour, BFQ among them; elsewhere the read simply goes at
// normal priority), available memory from /proc/meminfo.
class KernelPageCache : public PageCache
{
public:
    Result<Warmed> warm(const QString& path, const std::atomic<bool>& stop) override;
    qint64 availableMemory() override;

    // Bytes of `path` in the cache now; -1 when it cannot be told.
    static qint64 cachedBytes(const QString& path);
};
