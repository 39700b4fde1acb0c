#pragma once

#include <QImage>
#include <QSize>
#include <memory>

struct wl_buffer;
struct wl_shm;

// One ARGB pixel buffer in shared memory that the compositor reads: the client draws into
// `image()` while the buffer is not busy, attaches it, and the compositor's release frees it.
class WaylandShmBuffer
{
public:
    // None where memory cannot be had (no memfd, no space).
    static std::unique_ptr<WaylandShmBuffer> create(wl_shm* shm, QSize pixels);
    ~WaylandShmBuffer();
    WaylandShmBuffer(const WaylandShmBuffer&) = delete;
    WaylandShmBuffer& operator=(const WaylandShmBuffer&) = delete;

    wl_buffer* buffer() const { return m_buffer; }
    QSize size() const { return m_size; }
    // Premultiplied ARGB over the shared memory itself; valid while this buffer lives.
    QImage image() const;

    bool isBusy() const { return m_busy; }
    // Called at attach; the compositor's release clears it.
    void markBusy() { m_busy = true; }

private:
    WaylandShmBuffer(wl_buffer* buffer, void* memory, int fd, QSize size, int stride);

    wl_buffer* m_buffer;
    void* m_memory;
    int m_fd;
    QSize m_size;
    int m_stride;
    bool m_busy = false;
};
