#include "platform/wayland/WaylandShmBuffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

void released(void* data, wl_buffer*)
{
    // Cleared through the listener's data: the compositor is done reading.
    *static_cast<bool*>(data) = false;
}

const wl_buffer_listener bufferListener{released};

} // namespace

std::unique_ptr<WaylandShmBuffer> WaylandShmBuffer::create(wl_shm* shm, QSize pixels)
{
    if (!shm || pixels.isEmpty())
        return nullptr;
    const int stride = pixels.width() * 4;
    const off_t bytes = off_t(stride) * pixels.height();
    const int fd = memfd_create("wendlo-overlay", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return nullptr;
    if (ftruncate(fd, bytes) != 0) {
        close(fd);
        return nullptr;
    }
    void* memory = mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    // The compositor must not see the file shrink under it.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);

    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(bytes));
    // Little-endian ARGB8888 is the byte order of Qt's premultiplied ARGB32 on this host.
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride,
                                                  WL_SHM_FORMAT_ARGB8888);
    // The buffer keeps the pool's memory alive.
    wl_shm_pool_destroy(pool);
    auto result =
        std::unique_ptr<WaylandShmBuffer>(new WaylandShmBuffer(buffer, memory, fd, pixels, stride));
    wl_buffer_add_listener(buffer, &bufferListener, &result->m_busy);
    return result;
}

WaylandShmBuffer::WaylandShmBuffer(wl_buffer* buffer, void* memory, int fd, QSize size, int stride)
    : m_buffer(buffer), m_memory(memory), m_fd(fd), m_size(size), m_stride(stride)
{
}

WaylandShmBuffer::~WaylandShmBuffer()
{
    // The compositor holds its own mapping of what it still shows.
    wl_buffer_destroy(m_buffer);
    munmap(m_memory, size_t(m_stride) * size_t(m_size.height()));
    close(m_fd);
}

QImage WaylandShmBuffer::image() const
{
    return QImage(static_cast<uchar*>(m_memory), m_size.width(), m_size.height(), m_stride,
                  QImage::Format_ARGB32_Premultiplied);
}
