#include "permissions/PermissionsWindowController.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace {

constexpr int windowWidth = 480;
constexpr int minimumWindowHeight = 290;

// Sizes are the design's points, which are logical pixels (not typographic points, which
// Qt would turn into a third more pixels at 96 dpi).
QLabel* makeLabel(const QString& name, int pixelSize, QPalette::ColorRole role, bool wraps,
                  QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    label->setFont(font);
    label->setWordWrap(wraps);
    // Follow the desktop's light or dark palette rather than fixed colours.
    label->setForegroundRole(role);
    return label;
}

QPushButton* makeButton(const QString& name, const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

PermissionsWindowController::PermissionsWindowController(QObject* parent)
    : QObject(parent), m_window(std::make_unique<QWidget>())
{
    m_window->setWindowTitle(QStringLiteral("Wendlo Permissions"));
    m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_window->setFixedSize(windowWidth, minimumWindowHeight);
    m_window->installEventFilter(this);

    auto* stack = new QVBoxLayout(m_window.get());
    stack->setSpacing(12);
    stack->setContentsMargins(20, 20, 20, 20);

    auto* intro =
        makeLabel(QStringLiteral("introLabel"), 15, QPalette::WindowText, true, m_window.get());
    intro->setText(QStringLiteral("Wendlo needs two permissions before it can work reliably."));
    QFont introFont = intro->font();
    introFont.setWeight(QFont::DemiBold);
    intro->setFont(introFont);

    m_microphoneStatus = makeLabel(QStringLiteral("microphoneStatus"), 13, QPalette::WindowText,
                                   false, m_window.get());
    m_microphoneDetail = makeLabel(QStringLiteral("microphoneDetail"), 12,
                                   QPalette::PlaceholderText, true, m_window.get());
    m_requestMicrophoneButton = makeButton(QStringLiteral("requestMicrophoneButton"),
                                           QStringLiteral("Allow Microphone"), m_window.get());
    m_accessibilityStatus = makeLabel(QStringLiteral("accessibilityStatus"), 13,
                                      QPalette::WindowText, false, m_window.get());
    m_accessibilityDetail = makeLabel(QStringLiteral("accessibilityDetail"), 12,
                                      QPalette::PlaceholderText, true, m_window.get());
    m_requestAccessibilityButton =
        makeButton(QStringLiteral("requestAccessibilityButton"),
                   QStringLiteral("Allow Accessibility"), m_window.get());

    for (QWidget* item : {static_cast<QWidget*>(intro), static_cast<QWidget*>(m_microphoneStatus),
                          static_cast<QWidget*>(m_microphoneDetail),
                          static_cast<QWidget*>(m_requestMicrophoneButton),
                          static_cast<QWidget*>(m_accessibilityStatus),
                          static_cast<QWidget*>(m_accessibilityDetail),
                          static_cast<QWidget*>(m_requestAccessibilityButton)}) {
        // Labels span the column, so wrapped ones get the height their width needs;
        // buttons keep their own width at the leading edge.
        if (qobject_cast<QPushButton*>(item))
            stack->addWidget(item, 0, Qt::AlignLeft);
        else
            stack->addWidget(item);
    }
    // Spare height goes below the content, never between its lines.
    stack->addStretch(1);

    connect(m_requestMicrophoneButton, &QPushButton::clicked, this,
            &PermissionsWindowController::requestMicrophone);
    connect(m_requestAccessibilityButton, &QPushButton::clicked, this,
            &PermissionsWindowController::requestAccessibility);

    fitToContent();
    if (QScreen* screen = QApplication::primaryScreen()) {
        m_window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                                  m_window->size(), screen->availableGeometry()));
    }
}

PermissionsWindowController::~PermissionsWindowController() = default;

void PermissionsWindowController::render(MicrophonePermissionState microphoneState,
                                         bool accessibilityGranted)
{
    switch (microphoneState) {
    case MicrophonePermissionState::Granted:
        m_microphoneStatus->setText(QStringLiteral("Microphone: Allowed"));
        m_microphoneDetail->setText(
            QStringLiteral("Wendlo can record audio when you start dictation."));
        m_requestMicrophoneButton->setText(QStringLiteral("Allow Microphone"));
        m_requestMicrophoneButton->setHidden(true);
        break;
    case MicrophonePermissionState::Denied:
        m_microphoneStatus->setText(QStringLiteral("Microphone: Turn on in Settings"));
        m_microphoneDetail->setText(
            QStringLiteral("The system blocked microphone access. Open Settings > Privacy > "
                           "Microphone and enable Wendlo there."));
        m_requestMicrophoneButton->setText(QStringLiteral("Open Microphone Settings"));
        m_requestMicrophoneButton->setHidden(false);
        break;
    case MicrophonePermissionState::Undetermined:
        m_microphoneStatus->setText(QStringLiteral("Microphone: Permission required"));
        m_microphoneDetail->setText(
            QStringLiteral("Click below to show the system microphone permission prompt."));
        m_requestMicrophoneButton->setText(QStringLiteral("Allow Microphone"));
        m_requestMicrophoneButton->setHidden(false);
        break;
    }

    if (accessibilityGranted) {
        m_accessibilityStatus->setText(QStringLiteral("Accessibility: Allowed"));
        m_accessibilityDetail->setText(
            QStringLiteral("Wendlo can insert text into the focused field."));
        m_requestAccessibilityButton->setText(QStringLiteral("Allow Accessibility"));
        m_requestAccessibilityButton->setHidden(true);
    } else {
        m_accessibilityStatus->setText(QStringLiteral("Accessibility: Permission required"));
        m_accessibilityDetail->setText(QStringLiteral(
            "The system may ask you to open Accessibility settings. If Wendlo still cannot "
            "type into other apps, turn on assistive technologies in Settings > Accessibility."));
        m_requestAccessibilityButton->setText(QStringLiteral("Set Up Accessibility"));
        m_requestAccessibilityButton->setHidden(false);
    }
    fitToContent();
}

void PermissionsWindowController::fitToContent()
{
    const QLayout* stack = m_window->layout();
    const int needed = stack->hasHeightForWidth() ? stack->totalHeightForWidth(windowWidth)
                                                  : stack->totalSizeHint().height();
    const QSize size(windowWidth, std::max(minimumWindowHeight, needed));
    if (m_window->size() != size)
        m_window->setFixedSize(size);
}

bool PermissionsWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // Fonts, style or texts changed by someone else: the content may need another height.
    if (watched == m_window.get() && event->type() == QEvent::LayoutRequest)
        fitToContent();
    return QObject::eventFilter(watched, event);
}

void PermissionsWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PermissionsWindowController::close()
{
    m_window->hide();
}

bool PermissionsWindowController::isVisible() const
{
    return m_window->isVisible();
}

QWidget* PermissionsWindowController::window() const
{
    return m_window.get();
}

void PermissionsWindowController::requestMicrophone()
{
    if (onRequestMicrophone)
        onRequestMicrophone();
}

void PermissionsWindowController::requestAccessibility()
{
    if (onRequestAccessibility)
        onRequestAccessibility();
}
