#include "platform/wayland/LayerShellOverlay.h"

#include "common/DebugLog.h"
#include "platform/wayland/WaylandShmBuffer.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <QLayout>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <wayland-client.h>

namespace {

template <typename T>
T* bindAs(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t version)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, version));
}

// Two buffers let one be drawn while the compositor reads the other; a third covers a
// compositor that holds one a little longer.
constexpr size_t maxBuffers = 3;

} // namespace

std::unique_ptr<LayerShellOverlay> LayerShellOverlay::connectToCompositor(QString* why)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        if (why)
            *why = QStringLiteral("no Wayland compositor to connect to");
        return nullptr;
    }
    std::unique_ptr<LayerShellOverlay> overlay(new LayerShellOverlay(display));
    // One round trip for the globals, one for the outputs' scales bound in reply.
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        if (why)
            *why = QStringLiteral("the Wayland compositor did not answer");
        return nullptr;
    }
    if (!overlay->m_compositor || !overlay->m_shm || !overlay->m_layerShell) {
        if (why)
            *why = QStringLiteral("the compositor offers no layer-shell");
        return nullptr;
    }
    overlay->m_events =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
    QObject::connect(overlay->m_events.get(), &QSocketNotifier::activated, overlay->m_events.get(),
                     [raw = overlay.get()] { raw->readEvents(); });
    overlay->m_frameTimer = std::make_unique<QTimer>();
    overlay->m_frameTimer->setTimerType(Qt::PreciseTimer);
    overlay->m_frameTimer->setInterval(frameIntervalMs);
    QObject::connect(overlay->m_frameTimer.get(), &QTimer::timeout, overlay->m_frameTimer.get(),
                     [raw = overlay.get()] { raw->drawFrame(); });
    return overlay;
}

LayerShellOverlay::LayerShellOverlay(wl_display* display) : m_display(display)
{
    static const wl_registry_listener registryListener{
        [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
            static_cast<LayerShellOverlay*>(data)->bindGlobal(name, interface, version);
        },
        [](void* data, wl_registry*, uint32_t name) {
            static_cast<LayerShellOverlay*>(data)->removeGlobal(name);
        }};
    m_registry = wl_display_get_registry(display);
    wl_registry_add_listener(m_registry, &registryListener, this);
}

LayerShellOverlay::~LayerShellOverlay()
{
    m_frameTimer.reset();
    m_events.reset();
    destroySurface();
    for (const auto& output : m_outputs)
        wl_output_destroy(output->proxy);
    // Before version 3 the global has no destroy request: only the proxy goes.
    if (m_layerShell && wl_proxy_get_version(reinterpret_cast<wl_proxy*>(m_layerShell)) >= 3)
        zwlr_layer_shell_v1_destroy(m_layerShell);
    else if (m_layerShell)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(m_layerShell));
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_compositor)
        wl_compositor_destroy(m_compositor);
    wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

void LayerShellOverlay::bindGlobal(uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !m_compositor) {
        // Version 4 for buffer scales and damage in buffer pixels.
        m_compositorVersion = std::min<uint32_t>(version, 4);
        m_compositor =
            bindAs<wl_compositor>(m_registry, name, &wl_compositor_interface, m_compositorVersion);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !m_shm) {
        m_shm = bindAs<wl_shm>(m_registry, name, &wl_shm_interface, 1);
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !m_layerShell) {
        m_layerShell = bindAs<zwlr_layer_shell_v1>(m_registry, name, &zwlr_layer_shell_v1_interface,
                                                   std::min<uint32_t>(version, 4));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        static const wl_output_listener outputListener{
            [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
               const char*, int32_t) {},
            [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {},
            [](void*, wl_output*) {},
            [](void* data, wl_output*, int32_t scale) {
                static_cast<Output*>(data)->scale = std::max(1, int(scale));
            },
            [](void*, wl_output*, const char*) {},
            [](void*, wl_output*, const char*) {}};
        auto output = std::make_unique<Output>(
            Output{name, bindAs<wl_output>(m_registry, name, &wl_output_interface, 2)});
        wl_output_add_listener(output->proxy, &outputListener, output.get());
        m_outputs.push_back(std::move(output));
    }
}

void LayerShellOverlay::removeGlobal(uint32_t name)
{
    const auto gone = std::find_if(m_outputs.begin(), m_outputs.end(),
                                   [name](const auto& output) { return output->name == name; });
    if (gone == m_outputs.end())
        return;
    std::erase(m_enteredOutputs, gone->get());
    wl_output_destroy((*gone)->proxy);
    m_outputs.erase(gone);
}

bool LayerShellOverlay::showOnOwnSurface(QWidget* window)
{
    if (m_failed || !window)
        return false;
    m_window = window;
    // A hidden widget is not laid out on its own, and the pill takes its size from the layout.
    if (QLayout* layout = window->layout())
        layout->activate();
    if (!m_surface)
        createSurface();
    m_frameTimer->start();
    flush();
    return !m_failed;
}

void LayerShellOverlay::hideOwnSurface()
{
    if (m_frameTimer)
        m_frameTimer->stop();
    destroySurface();
    flush();
}

void LayerShellOverlay::createSurface()
{
    static const wl_surface_listener surfaceListener{
        [](void* data, wl_surface*, wl_output* output) {
            static_cast<LayerShellOverlay*>(data)->surfaceEntered(output, true);
        },
        [](void* data, wl_surface*, wl_output* output) {
            static_cast<LayerShellOverlay*>(data)->surfaceEntered(output, false);
        }};
    static const zwlr_layer_surface_v1_listener layerListener{
        [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t, uint32_t) {
            // The size asked for is the size given: the surface is never stretched.
            static_cast<LayerShellOverlay*>(data)->configured(serial);
        },
        [](void* data, zwlr_layer_surface_v1*) {
            // Taken away (its output went, say): the next show makes a new one.
            auto* self = static_cast<LayerShellOverlay*>(data);
            DebugLog::write(QStringLiteral("overlay: the compositor closed the pill's surface"));
            self->m_frameTimer->stop();
            self->destroySurface();
        }};

    m_surface = wl_compositor_create_surface(m_compositor);
    wl_surface_add_listener(m_surface, &surfaceListener, this);
    wl_region* nothing = wl_compositor_create_region(m_compositor);
    wl_surface_set_input_region(m_surface, nothing);
    wl_region_destroy(nothing);

    m_layerSurface = zwlr_layer_shell_v1_get_layer_surface(
        m_layerShell, m_surface, nullptr, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "wendlo");
    zwlr_layer_surface_v1_add_listener(m_layerSurface, &layerListener, this);
    const QSize size = m_window->size();
    zwlr_layer_surface_v1_set_size(m_layerSurface, uint32_t(size.width()), uint32_t(size.height()));
    // Only the bottom edge: centred horizontally.
    zwlr_layer_surface_v1_set_anchor(m_layerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM);
    zwlr_layer_surface_v1_set_margin(m_layerSurface, 0, 0, bottomMargin, 0);
    // 0: reserves nothing itself, but keeps clear of panels' zones.
    zwlr_layer_surface_v1_set_exclusive_zone(m_layerSurface, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        m_layerSurface, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    // Without a buffer: asks for the first configure.
    wl_surface_commit(m_surface);
    m_framesPresented = 0;
}

void LayerShellOverlay::destroySurface()
{
    if (m_frameCallback)
        wl_callback_destroy(m_frameCallback);
    m_frameCallback = nullptr;
    if (m_layerSurface)
        zwlr_layer_surface_v1_destroy(m_layerSurface);
    m_layerSurface = nullptr;
    if (m_surface)
        wl_surface_destroy(m_surface);
    m_surface = nullptr;
    m_configured = false;
    m_enteredOutputs.clear();
    // A new surface starts with fresh buffers, so none waits on a release that never comes.
    m_buffers.clear();
}

void LayerShellOverlay::configured(uint32_t serial)
{
    zwlr_layer_surface_v1_ack_configure(m_layerSurface, serial);
    const bool first = !m_configured;
    m_configured = true;
    if (first)
        drawFrame();
}

void LayerShellOverlay::frameDone()
{
    wl_callback_destroy(m_frameCallback);
    m_frameCallback = nullptr;
}

void LayerShellOverlay::surfaceEntered(wl_output* output, bool entered)
{
    const auto known = std::find_if(m_outputs.begin(), m_outputs.end(),
                                    [output](const auto& o) { return o->proxy == output; });
    if (known == m_outputs.end())
        return;
    std::erase(m_enteredOutputs, known->get());
    if (entered)
        m_enteredOutputs.push_back(known->get());
}

int LayerShellOverlay::bufferScale() const
{
    if (m_compositorVersion < 3)
        return 1;
    // Before the surface is on an output, the sharpest any output needs.
    int scale = 1;
    if (m_enteredOutputs.empty()) {
        for (const auto& output : m_outputs)
            scale = std::max(scale, output->scale);
    } else {
        for (const Output* output : m_enteredOutputs)
            scale = std::max(scale, output->scale);
    }
    return scale;
}

WaylandShmBuffer* LayerShellOverlay::freeBuffer(QSize pixels)
{
    // Buffers of an old scale go once the compositor is done with them.
    std::erase_if(m_buffers, [pixels](const auto& buffer) {
        return buffer->size() != pixels && !buffer->isBusy();
    });
    for (const auto& buffer : m_buffers)
        if (buffer->size() == pixels && !buffer->isBusy())
            return buffer.get();
    if (m_buffers.size() >= maxBuffers)
        return nullptr;
    std::unique_ptr<WaylandShmBuffer> buffer = WaylandShmBuffer::create(m_shm, pixels);
    if (!buffer)
        return nullptr;
    m_buffers.push_back(std::move(buffer));
    return m_buffers.back().get();
}

void LayerShellOverlay::drawFrame()
{
    // The previous frame not yet shown (or the output asleep): nothing is gained by another.
    if (!m_configured || m_frameCallback || !m_window || m_failed)
        return;
    const int scale = bufferScale();
    WaylandShmBuffer* buffer = freeBuffer(m_window->size() * scale);
    if (!buffer)
        return;

    QImage image = buffer->image();
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    m_window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    static const wl_callback_listener frameListener{[](void* data, wl_callback*, uint32_t) {
        static_cast<LayerShellOverlay*>(data)->frameDone();
    }};
    if (m_compositorVersion >= 3)
        wl_surface_set_buffer_scale(m_surface, scale);
    wl_surface_attach(m_surface, buffer->buffer(), 0, 0);
    if (m_compositorVersion >= 4)
        wl_surface_damage_buffer(m_surface, 0, 0, INT32_MAX, INT32_MAX);
    else
        wl_surface_damage(m_surface, 0, 0, INT32_MAX, INT32_MAX);
    m_frameCallback = wl_surface_frame(m_surface);
    wl_callback_add_listener(m_frameCallback, &frameListener, this);
    wl_surface_commit(m_surface);
    buffer->markBusy();
    ++m_framesPresented;
    flush();
}

void LayerShellOverlay::readEvents()
{
    if (wl_display_dispatch(m_display) < 0) {
        connectionFailed();
        return;
    }
    flush();
}

void LayerShellOverlay::flush()
{
    // A full socket (EAGAIN) keeps the rest for the next flush.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN)
        connectionFailed();
}

void LayerShellOverlay::connectionFailed()
{
    if (m_failed)
        return;
    m_failed = true;
    DebugLog::write(
        QStringLiteral("recording overlay off: its Wayland connection failed (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(wl_display_get_error(m_display)))));
    if (m_events)
        m_events->setEnabled(false);
    if (m_frameTimer)
        m_frameTimer->stop();
    destroySurface();
}
