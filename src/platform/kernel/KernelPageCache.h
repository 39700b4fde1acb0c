#pragma once

#include "platform/PageCache.h"

// Linux: residency from mincore(2), the read at the idle I/O class (ioprio_set; honoured by
// the BFQ and mq-deadline schedulers, while devices without a scheduler, many NVMe drives,
// simply read at normal priority), available memory from /proc/meminfo.
class KernelPageCache : public PageCache
{
public:
    Result<Warmed> warm(const QString& path, const std::atomic<bool>& stop) override;
    qint64 availableMemory() override;

    // Bytes of `path` in the cache now; -1 when it cannot be told.
    static qint64 cachedBytes(const QString& path);
};
