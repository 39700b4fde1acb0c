#pragma once

#include "platform/OverlayWindowBackend.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
class QTimer;
class WaylandShmBuffer;
struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

// Wayland: a client can neither raise nor place its own windows, and compositors focus the
// ones it maps. Where the compositor offers layer-shell, the pill is instead a surface on its
// overlay layer, on a connection of this back end's own: anchored to the bottom edge of the
// output the compositor picks (its focused one), 28 px above other surfaces' exclusive zones
// (panels), no keyboard focus ever, an empty input region so clicks reach what is beneath.
// Its pixels are the hidden widget rendered into shared memory, at most one frame per
// compositor frame and at 30 Hz. Main thread only.
class LayerShellOverlay : public OverlayWindowBackend
{
public:
    static constexpr int bottomMargin = 28;
    static constexpr int frameIntervalMs = 33;

    // A connection to the session's compositor; none where there is none or it offers no
    // layer-shell, and `why` then says which.
    static std::unique_ptr<LayerShellOverlay> connectToCompositor(QString* why = nullptr);
    ~LayerShellOverlay() override;
    LayerShellOverlay(const LayerShellOverlay&) = delete;
    LayerShellOverlay& operator=(const LayerShellOverlay&) = delete;

    // After the connection failed: hidden rather than an ordinary window taking the focus.
    bool canShow() override { return !m_failed; }
    void prepareToShow(QWidget*) override {}
    bool showOnOwnSurface(QWidget* window) override;
    void hideOwnSurface() override;
    bool ownSurfaceShown() const override { return m_surface && !m_failed; }

    // Frames handed to the compositor since the surface was last created.
    int framesPresented() const { return m_framesPresented; }

private:
    struct Output
    {
        uint32_t name;
        wl_output* proxy;
        int scale = 1;
    };

    explicit LayerShellOverlay(wl_display* display);
    void bindGlobal(uint32_t name, const char* interface, uint32_t version);
    void removeGlobal(uint32_t name);
    void createSurface();
    void destroySurface();
    void configured(uint32_t serial);
    void frameDone();
    void surfaceEntered(wl_output* output, bool entered);
    void drawFrame();
    int bufferScale() const;
    WaylandShmBuffer* freeBuffer(QSize pixels);
    void readEvents();
    void flush();
    void connectionFailed();

    wl_display* m_display;
    wl_registry* m_registry = nullptr;
    wl_compositor* m_compositor = nullptr;
    uint32_t m_compositorVersion = 0;
    wl_shm* m_shm = nullptr;
    zwlr_layer_shell_v1* m_layerShell = nullptr;
    std::vector<std::unique_ptr<Output>> m_outputs;
    std::unique_ptr<QSocketNotifier> m_events;
    std::unique_ptr<QTimer> m_frameTimer;
    bool m_failed = false;

    QPointer<QWidget> m_window;
    wl_surface* m_surface = nullptr;
    zwlr_layer_surface_v1* m_layerSurface = nullptr;
    wl_callback* m_frameCallback = nullptr;
    bool m_configured = false;
    std::vector<const Output*> m_enteredOutputs;
    std::vector<std::unique_ptr<WaylandShmBuffer>> m_buffers;
    int m_framesPresented = 0;
};
