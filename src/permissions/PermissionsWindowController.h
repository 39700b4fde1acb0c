#pragma once

#include "platform/MicrophonePermissionState.h"

#include <QObject>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QWidget;

// The small window that shows the microphone and accessibility permissions, each with
// a status line, an explanation and one button. It renders what it is given and reports
// button presses through the callbacks (unset callbacks do nothing). Main thread only.
//
// Child widgets carry object names for tests: "introLabel", "microphoneStatus",
// "microphoneDetail", "requestMicrophoneButton", "accessibilityStatus", "accessibilityDetail",
// "requestAccessibilityButton".
class PermissionsWindowController : public QObject
{
    Q_OBJECT

public:
    explicit PermissionsWindowController(QObject* parent = nullptr);
    ~PermissionsWindowController() override;

    std::function<void()> onRequestMicrophone;
    std::function<void()> onRequestAccessibility;

    // Sets every text and both buttons' titles and visibility; neither shows nor closes.
    void render(MicrophonePermissionState microphoneState, bool accessibilityGranted);

    // Shows (or raises) the window; close only hides it, so it can be shown again.
    void showWindow();
    void close();
    bool isVisible() const;
    QWidget* window() const;

    // The button actions.
    void requestMicrophone();
    void requestAccessibility();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // 480 wide and at least 290 high; taller when the texts need it, so none is cut.
    void fitToContent();

    std::unique_ptr<QWidget> m_window;
    QLabel* m_microphoneStatus = nullptr;
    QLabel* m_microphoneDetail = nullptr;
    QLabel* m_accessibilityStatus = nullptr;
    QLabel* m_accessibilityDetail = nullptr;
    QPushButton* m_requestMicrophoneButton = nullptr;
    QPushButton* m_requestAccessibilityButton = nullptr;
};
