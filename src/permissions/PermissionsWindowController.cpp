#include "permissions/PermissionsWindowController.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QLabel* makeLabel(const QString& name, int pointSize, QPalette::ColorRole role, bool wraps,
                  QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setPointSize(pointSize);
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
    m_window->setFixedSize(480, 290);

    auto* stack = new QVBoxLayout(m_window.get());
    stack->setSpacing(12);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* intro =
        makeLabel(QStringLiteral("introLabel"), 15, QPalette::WindowText, true, m_window.get());
    intro->setText(QStringLiteral("Wendlo needs two permissions before it can work reliably."));
    QFont introFont = intro->font();
    introFont.setWeight(QFont::DemiBold);
    intro->setFont(introFont);
    intro->setMaximumHeight(2 * intro->fontMetrics().lineSpacing());

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
                          static_cast<QWidget*>(m_requestAccessibilityButton)})
        stack->addWidget(item, 0, Qt::AlignLeft);

    connect(m_requestMicrophoneButton, &QPushButton::clicked, this,
            &PermissionsWindowController::requestMicrophone);
    connect(m_requestAccessibilityButton, &QPushButton::clicked, this,
            &PermissionsWindowController::requestAccessibility);

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
