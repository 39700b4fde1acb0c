#pragma once

#include "platform/AccessibilityBackend.h"
#include "platform/atspi/AtspiHandle.h"
#include "platform/atspi/ToolkitOffsets.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

typedef struct _AtspiEvent AtspiEvent;
typedef struct _AtspiEventListener AtspiEventListener;

// The accessibility back end over AT-SPI (libatspi). Every call into another application is
// bounded by a short timeout and the focus search by a deadline, so a hung application
// costs a moment and a fall back to the clipboard, never a frozen dictation. The focused
// field is followed through focus events from the start, so a dictation finds it without
// walking the desktop's accessibility tree.
class AtspiAccessibility : public AccessibilityBackend
{
public:
    struct Limits
    {
        int callTimeoutMs = 400; // one D-Bus call into an application
        int searchMs = 1500;     // the whole search for the focused field
        int maxNodes = 4000;     // accessibles visited in one search
    };

    explicit AtspiAccessibility(std::unique_ptr<AccessibilityTrust> trust);
    AtspiAccessibility(std::unique_ptr<AccessibilityTrust> trust, Limits limits);
    ~AtspiAccessibility() override;

    bool isTrusted() override;
    bool isTrustedWithPrompt() override;
    std::unique_ptr<FocusedTextElement> focusedElement() override;

private:
    struct Application
    {
        qint64 pid = 0;
        ToolkitOffsets offsets{ToolkitOffsets::Unit::CodePoint};
    };
    struct Search
    {
        QElapsedTimer clock;
        int nodes = 0;
    };

    bool connect();
    void startTracking();
    static void focusChanged(AtspiEvent* event, void* self);
    const Application* application(AtspiAccessible* accessible);
    bool isOwn(AtspiAccessible* accessible);
    bool isFocused(AtspiAccessible* accessible);
    AtspiHandle findFocused(AtspiAccessible* root, Search& search, int depth);
    AtspiHandle searchApplications();
    bool outOfTime(const Search& search) const;

    std::unique_ptr<AccessibilityTrust> m_trust;
    Limits m_limits;
    bool m_connected = false;
    bool m_connectFailed = false;
    AtspiEventListener* m_listener = nullptr;
    // The element that last gained focus, or the one found last time: usually still the one
    // with focus, which saves a search.
    AtspiHandle m_lastFocused;
    QHash<QString, Application> m_applications; // by bus name
    QObject m_context;                          // guards the deferred start of focus tracking
};
