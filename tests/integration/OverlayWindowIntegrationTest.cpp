// The overlay window on a real X display: window states, focus, position and click-through.
#include "overlay/RecordingOverlayWindowController.h"
#include "overlay/StarfieldPillView.h"
#include "platform/x11/X11OverlayWindow.h"
#include "support/Wait.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) break headers included after it.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
// clang-format on

namespace {

// Reads the window from a connection of its own, as another client (a window manager) would.
class XClient
{
public:
    XClient() : m_display(XOpenDisplay(nullptr)) {}
    ~XClient()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }

    XWindowAttributes attributes(Window w) const
    {
        XWindowAttributes a{};
        XGetWindowAttributes(m_display, w, &a);
        return a;
    }
    bool viewable(Window w) const { return attributes(w).map_state == IsViewable; }

    QPoint rootPosition(Window w) const
    {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(m_display, w, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
        return {x, y};
    }

    Window inputFocus() const
    {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_display, &focus, &revert);
        return focus;
    }

    std::vector<unsigned long> property(Window w, const char* name, Atom type) const
    {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(m_display, w, atom(name), 0, 64, False, type, &actual, &format,
                               &count, &after, &data) == Success &&
            data && format == 32) {
            auto* longs = reinterpret_cast<unsigned long*>(data);
            values.assign(longs, longs + count);
        }
        if (data)
            XFree(data);
        return values;
    }

    bool hasState(Window w, const char* state) const
    {
        for (unsigned long a : property(w, "_NET_WM_STATE", XA_ATOM))
            if (a == atom(state))
                return true;
        return false;
    }

    int inputShapeRectangles(Window w) const
    {
        int count = -1, ordering = 0;
        XRectangle* rects = XShapeGetRectangles(m_display, w, ShapeInput, &count, &ordering);
        if (rects)
            XFree(rects);
        return count;
    }

    bool acceptsInputHint(Window w) const
    {
        XWMHints* hints = XGetWMHints(m_display, w);
        const bool accepts = !hints || !(hints->flags & InputHint) || hints->input;
        if (hints)
            XFree(hints);
        return accepts;
    }

    Atom atom(const char* name) const { return XInternAtom(m_display, name, False); }

    // Plays the window manager's part: names the active window on the root (none: removes it).
    void setActiveWindow(Window w) const
    {
        const Window root = DefaultRootWindow(m_display);
        if (w == 0) {
            XDeleteProperty(m_display, root, atom("_NET_ACTIVE_WINDOW"));
        } else {
            const unsigned long value = w;
            XChangeProperty(m_display, root, atom("_NET_ACTIVE_WINDOW"), XA_WINDOW, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
        }
        XSync(m_display, False);
    }

    // The id of a window that existed and is gone.
    Window destroyedWindow() const
    {
        const Window w =
            XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 10, 10, 0, 0, 0);
        XDestroyWindow(m_display, w);
        XSync(m_display, False);
        return w;
    }

private:
    Display* m_display;
};

// An ordinary application window with a text field, under the pill's spot.
class Editor : public QWidget
{
public:
    Editor()
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(field);
        setGeometry(340, 600, 600, 200);
    }
    QLineEdit* field = new QLineEdit;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

class OverlayWindowIntegration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.ok()) << "no X display";
        editor.show();
        editor.activateWindow();
        editor.field->setFocus();
        ASSERT_TRUE(waitUntil([&] { return x.inputFocus() == editor.winId(); }, 3000));
    }

    Window pill() const { return static_cast<Window>(controller.window()->winId()); }

    XClient x;
    Editor editor;
    RecordingOverlayWindowController controller{std::make_unique<X11OverlayWindow>()};
};

TEST_F(OverlayWindowIntegration, FloatsOnEveryWorkspaceWithoutTakingFocus)
{
    controller.render(DictationState::recording());
    ASSERT_TRUE(waitUntil([&] { return x.viewable(pill()); }, 3000));
    spinFor(200); // let any focus change arrive

    EXPECT_EQ(x.inputFocus(), editor.winId());
    EXPECT_EQ(QApplication::focusWidget(), editor.field);

    const XWindowAttributes a = x.attributes(pill());
    EXPECT_TRUE(a.override_redirect);
    EXPECT_EQ(QSize(a.width, a.height), QSize(200, 52));
    EXPECT_FALSE(x.acceptsInputHint(pill()));
    for (const char* state :
         {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR"})
        EXPECT_TRUE(x.hasState(pill(), state)) << state;
    const std::vector<unsigned long> desktop = x.property(pill(), "_NET_WM_DESKTOP", XA_CARDINAL);
    ASSERT_EQ(desktop.size(), 1u);
    EXPECT_EQ(static_cast<uint32_t>(desktop[0]), 0xFFFFFFFFu); // every desktop
    EXPECT_EQ(x.inputShapeRectangles(pill()), 0);

    // Centred on the 1280 × 800 screen, its bottom edge 28 px above the screen's.
    EXPECT_EQ(x.rootPosition(pill()), QPoint(540, 720));
}

TEST_F(OverlayWindowIntegration, ReportsTheActiveWindowsFrame)
{
    X11OverlayWindow backend;
    x.setActiveWindow(editor.winId());
    EXPECT_EQ(backend.activeWindowFrame(), QRect(340, 600, 600, 200));

    for (const Window w : {Window(0), x.destroyedWindow()}) {
        x.setActiveWindow(w);
        EXPECT_EQ(backend.activeWindowFrame(), std::nullopt) << w;
    }
    x.setActiveWindow(0);
}

TEST_F(OverlayWindowIntegration, ClicksReachTheWindowUnderneath)
{
    controller.render(DictationState::recording());
    ASSERT_TRUE(waitUntil([&] { return x.viewable(pill()); }, 3000));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("xdotool"), {"mousemove", "640", "746", "click", "1"}), 0);
    EXPECT_TRUE(waitUntil([&] { return editor.presses > 0; }, 3000));
}

TEST_F(OverlayWindowIntegration, HiddenAtIdleAndShownAgainWithItsStates)
{
    controller.render(DictationState::recording());
    ASSERT_TRUE(waitUntil([&] { return x.viewable(pill()); }, 3000));
    controller.render(DictationState::idle());
    ASSERT_TRUE(waitUntil([&] { return !x.viewable(pill()); }, 3000));
    EXPECT_FALSE(controller.starfieldView()->isAnimating());

    controller.render(DictationState::transcribing());
    ASSERT_TRUE(waitUntil([&] { return x.viewable(pill()); }, 3000));
    spinFor(100);
    EXPECT_TRUE(x.hasState(pill(), "_NET_WM_STATE_STICKY"));
    EXPECT_TRUE(x.hasState(pill(), "_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_EQ(x.inputShapeRectangles(pill()), 0);
    EXPECT_EQ(x.inputFocus(), editor.winId());
}

} // namespace
