#include "onboarding/OnboardingWindowController.h"

#include "common/MainThreadTask.h"
#include "onboarding/OnboardingLayerView.h"
#include "onboarding/OnboardingPractice.h"
#include "onboarding/OnboardingStarfieldView.h"
#include "onboarding/OnboardingStepChipView.h"
#include "onboarding/OnboardingStyle.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTextCursor>
#include <QVBoxLayout>

using OnboardingStyle::white;

namespace {

constexpr int windowWidth = 860;
constexpr int windowHeight = 700;

struct ButtonLook
{
    QColor bezel;
    QColor title;
    QFont::Weight weight;
    bool large;
};

int alpha255(const QColor& color)
{
    return qRound(color.alphaF() * 255);
}

QString cssColor(const QColor& color, double alphaFactor = 1.0)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(qRound(alpha255(color) * alphaFactor));
}

// A rounded push button with the given bezel and title colours; the title is 13 on a large
// button and 12 otherwise. Applied again after every title change.
void applyButtonTitleStyle(QPushButton* button, const ButtonLook& look)
{
    button->setFont(OnboardingStyle::systemFont(look.large ? 13 : 12, look.weight));
    const int height = look.large ? 30 : 24;
    const QString sheet =
        QStringLiteral("QPushButton { background-color: %1; color: %2; border: 1px solid "
                       "transparent; border-radius: %3px; padding: 0px %4px; min-height: %5px; }"
                       "QPushButton:focus { border-color: rgba(255, 255, 255, 140); }"
                       "QPushButton:pressed { background-color: %6; }"
                       "QPushButton:disabled { background-color: %7; color: %8; }")
            .arg(cssColor(look.bezel), cssColor(look.title))
            .arg(look.large ? 8 : 6)
            .arg(look.large ? 16 : 12)
            .arg(height - 2)
            .arg(cssColor(look.bezel, 0.75), cssColor(look.bezel, 0.4), cssColor(look.title, 0.45));
    if (button->styleSheet() != sheet)
        button->setStyleSheet(sheet);
    OnboardingStyle::setTextColor(button, look.title);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, look.title);
    button->setPalette(palette);
}

const ButtonLook backLook{white(0.12), white(0.9), QFont::Medium, false};
const ButtonLook primaryLook{white(0.92), Qt::black, QFont::DemiBold, true};
const ButtonLook clearLook{white(0.12), white(0.82), QFont::Medium, false};

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color,
                  QWidget* parent = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    OnboardingStyle::setTextColor(label, color);
    return label;
}

QLabel* makeWrappingLabel(const QString& text, const QFont& font, const QColor& color,
                          int maximumLines, QWidget* parent = nullptr)
{
    QLabel* label = makeLabel(text, font, color, parent);
    label->setWordWrap(true);
    label->setMaximumHeight(QFontMetrics(font).lineSpacing() * maximumLines + 2);
    return label;
}

QWidget* makeDivider()
{
    auto* divider = new OnboardingLayerView({white(0.08), Qt::transparent, 0, 0});
    divider->setFixedHeight(1);
    return divider;
}

// A rounded card that takes exactly the height of its content; `stack` receives the content.
QWidget* makeCardContainer(QVBoxLayout*& stack)
{
    auto* card = new OnboardingLayerView({white(0.006), white(0.08), 1, 22});
    card->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    stack = new QVBoxLayout(card);
    stack->setContentsMargins(22, 22, 22, 22);
    stack->setSpacing(12);
    return card;
}

QWidget* makeChecklistRow(const QString& line)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* dot = new OnboardingLayerView({white(0.92), Qt::transparent, 0, 4});
    dot->setFixedSize(8, 8);
    layout->addWidget(dot, 0, Qt::AlignVCenter);
    layout->addWidget(makeLabel(line, OnboardingStyle::systemFont(14), white(0.86)), 1,
                      Qt::AlignVCenter);
    return row;
}

// Depth-first, pre-order: the first label with that identifier, or none.
QLabel* findLabel(QWidget* view, const QString& identifier)
{
    if (auto* label = qobject_cast<QLabel*>(view); label && label->objectName() == identifier)
        return label;
    for (QObject* child : view->children()) {
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            if (QLabel* found = findLabel(widget, identifier))
                return found;
        }
    }
    return nullptr;
}

struct StepTexts
{
    QString title;
    QString subtitle;
    QString footerHint;
};

StepTexts stepTexts(OnboardingStep step, const QString& hotKey, bool hotKeyWorks)
{
    switch (step) {
    case OnboardingStep::Welcome:
        return {QStringLiteral("Set up Wendlo in one minute."),
                QStringLiteral("Allow two permissions, try one sentence, and start dictating."),
                {}};
    case OnboardingStep::Microphone:
        return {QStringLiteral("Turn on microphone."),
                QStringLiteral("Wendlo needs access to hear you."),
                QStringLiteral("Continue once the system shows it as allowed.")};
    case OnboardingStep::Accessibility:
        return {QStringLiteral("Turn on text insertion."),
                QStringLiteral("Accessibility lets Wendlo type into the field you are using."),
                QStringLiteral("If it stays off, turn on accessibility in Settings.")};
    case OnboardingStep::Practice:
        return {QStringLiteral("Try one dictation."),
                hotKeyWorks
                    ? QStringLiteral("Click the field. Hold %1. Speak. Release.").arg(hotKey)
                    : QStringLiteral("%1 cannot be used here. Choose another hot key first.")
                          .arg(hotKey),
                QStringLiteral("This is a real dictation.")};
    case OnboardingStep::Ready:
        return {QString::fromUtf8("You\u2019re ready."),
                QStringLiteral("Use Wendlo in any text field."),
                QStringLiteral("You can reopen this from the tray.")};
    }
    return {};
}

} // namespace

OnboardingWindowController::OnboardingWindowController(std::function<double()> clock,
                                                       QObject* parent)
    : QObject(parent), m_window(std::make_unique<QWidget>())
{
    m_window->setObjectName(QStringLiteral("rootView"));
    m_window->setWindowTitle(QStringLiteral("Wendlo"));
    m_window->setFixedSize(windowWidth, windowHeight);
    m_window->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Base, Qt::transparent);
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        m_window->move(available.center() - QPoint(windowWidth / 2, windowHeight / 2));
    }
    m_window->installEventFilter(this);

    m_backgroundView = new OnboardingStarfieldView(std::move(clock), m_window.get());
    m_backgroundView->setGeometry(m_window->rect());
    m_backgroundView->lower();
    buildUI();
}

OnboardingWindowController::~OnboardingWindowController() = default;

void OnboardingWindowController::buildUI()
{
    QWidget* root = m_window.get();
    auto* rootLayout = new QVBoxLayout(root);
    rootLayout->setContentsMargins(56, 44, 56, 44);
    m_surfaceView = new OnboardingLayerView(
        {QColor::fromRgbF(0.07f, 0.07f, 0.07f, 0.5f), white(0.08), 1, 28}, root);
    m_surfaceView->setObjectName(QStringLiteral("surfaceView"));
    rootLayout->addWidget(m_surfaceView);

    auto* contentStack = new QVBoxLayout(m_surfaceView);
    contentStack->setContentsMargins(32, 28, 32, 28);
    contentStack->setSpacing(0);

    auto* headerPill = new OnboardingLayerView({white(0.015), Qt::transparent, 0, 999});
    headerPill->setFixedSize(112, 28);
    m_headerLabel =
        makeLabel(QStringLiteral("All the steps"), OnboardingStyle::systemFont(11, QFont::DemiBold),
                  white(0.72), headerPill);
    m_headerLabel->setObjectName(QStringLiteral("headerLabel"));
    m_headerLabel->setAlignment(Qt::AlignCenter);
    m_headerLabel->setGeometry(0, 0, 112, 28);
    contentStack->addWidget(headerPill, 0, Qt::AlignLeft);
    contentStack->addSpacing(14);

    auto* stepRowView = new QWidget;
    stepRowView->setObjectName(QStringLiteral("stepRowView"));
    stepRowView->setFixedHeight(OnboardingStepChipView::chipHeight);
    auto* stepRow = new QHBoxLayout(stepRowView);
    stepRow->setContentsMargins(0, 0, 0, 0);
    stepRow->setSpacing(8);
    for (OnboardingStep step : OnboardingStep::allCases()) {
        auto* chip = new OnboardingStepChipView(step);
        stepRow->addWidget(chip, 1);
        m_stepViews.push_back(chip);
    }
    contentStack->addWidget(stepRowView);
    contentStack->addSpacing(14);
    contentStack->addWidget(makeDivider());
    contentStack->addSpacing(14);

    m_titleLabel =
        makeWrappingLabel({}, OnboardingStyle::systemFont(32, QFont::DemiBold), Qt::white, 2);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    contentStack->addWidget(m_titleLabel);
    contentStack->addSpacing(14);
    m_subtitleLabel = makeWrappingLabel({}, OnboardingStyle::systemFont(15), white(0.72), 2);
    m_subtitleLabel->setObjectName(QStringLiteral("subtitleLabel"));
    contentStack->addWidget(m_subtitleLabel);
    contentStack->addSpacing(14);

    m_cardStackView = new QWidget;
    m_cardStackView->setObjectName(QStringLiteral("cardStack"));
    m_cardStack = new QVBoxLayout(m_cardStackView);
    m_cardStack->setContentsMargins(0, 0, 0, 0);
    m_cardStack->setSpacing(12);
    contentStack->addWidget(m_cardStackView);
    contentStack->addSpacing(6);
    // The body spacer: takes all spare height, which keeps the footer at the bottom.
    contentStack->addStretch(1);
    contentStack->addSpacing(14);
    contentStack->addWidget(buildFooter());

    // The practice and permission controls live for the whole window; each card rebuild puts
    // the same objects into the new card. Until then they wait, hidden, in the root view.
    m_practicePromptLabel = makeWrappingLabel(
        QString::fromUtf8("Say: \u201cWendlo helps me write without breaking my flow.\u201d"),
        OnboardingStyle::monospacedFont(15, QFont::Medium), Qt::white, 2, root);
    m_practicePromptLabel->setObjectName(QStringLiteral("practicePromptLabel"));
    m_practiceInstructionLabel =
        makeLabel(QStringLiteral("Click the field first, then dictate the sentence."),
                  OnboardingStyle::systemFont(12), white(0.62), root);
    m_practiceInstructionLabel->setObjectName(QStringLiteral("practiceInstructionLabel"));
    // It also carries a hot-key problem or the compositor's binding lines, which run longer
    // than the instruction; the lines are there to be copied.
    m_practiceInstructionLabel->setWordWrap(true);
    m_practiceInstructionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_practiceContainer = new OnboardingLayerView({white(0.008), white(0.08), 1, 18}, root);
    m_practiceContainer->setObjectName(QStringLiteral("practiceContainer"));
    // It gives up height, down to a few lines, to the compositor's binding lines above it.
    m_practiceContainer->setMinimumHeight(64);
    m_practiceContainer->setMaximumHeight(112);
    auto* containerLayout = new QVBoxLayout(m_practiceContainer);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    m_practiceTextView = new QPlainTextEdit(m_practiceContainer);
    m_practiceTextView->setObjectName(QStringLiteral("practiceTextView"));
    m_practiceTextView->setFrameShape(QFrame::NoFrame);
    m_practiceTextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_practiceTextView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_practiceTextView->setFont(OnboardingStyle::systemFont(18));
    m_practiceTextView->viewport()->setAutoFillBackground(false);
    m_practiceTextView->setAutoFillBackground(false);
    m_practiceTextView->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: transparent; color: white; }"));
    m_practiceTextView->document()->setDocumentMargin(12);
    containerLayout->addWidget(m_practiceTextView);
    connect(m_practiceTextView, &QPlainTextEdit::textChanged, this,
            &OnboardingWindowController::practiceTextDidChange);

    m_practiceStatusLabel =
        makeLabel({}, OnboardingStyle::systemFont(12, QFont::Medium), white(0.62), root);
    m_practiceStatusLabel->setObjectName(QStringLiteral("practiceStatusLabel"));
    m_clearPracticeButton = new QPushButton(QStringLiteral("Clear Text"), root);
    m_clearPracticeButton->setObjectName(QStringLiteral("clearPracticeButton"));
    connect(m_clearPracticeButton, &QPushButton::clicked, this,
            &OnboardingWindowController::clearPractice);

    m_hotKeySettingsButton = new QPushButton(QStringLiteral("Choose Hot Key\u2026"), root);
    m_hotKeySettingsButton->setObjectName(QStringLiteral("hotKeySettingsButton"));
    connect(m_hotKeySettingsButton, &QPushButton::clicked, this,
            &OnboardingWindowController::openHotKeySettings);

    m_permissionButton = new QPushButton(QString(), root);
    m_permissionButton->setObjectName(QStringLiteral("permissionButton"));
    connect(m_permissionButton, &QPushButton::clicked, this, [this] {
        if (m_permissionAction)
            (this->*m_permissionAction)();
    });

    m_clearPracticeButton->setAutoDefault(true);
    m_permissionButton->setAutoDefault(true);
    // One sentence needs no tab characters; Tab leaves the field like everywhere else.
    m_practiceTextView->setTabChangesFocus(true);
    // Reading order: the card's control, then Back, then Continue.
    QWidget::setTabOrder(m_permissionButton, m_practiceTextView);
    QWidget::setTabOrder(m_practiceTextView, m_clearPracticeButton);
    QWidget::setTabOrder(m_clearPracticeButton, m_backButton);
    QWidget::setTabOrder(m_backButton, m_continueButton);

    for (QWidget* widget : cardControls())
        widget->hide();
}

QWidget* OnboardingWindowController::buildFooter()
{
    auto* footer = new QWidget;
    auto* footerStack = new QVBoxLayout(footer);
    footerStack->setContentsMargins(0, 0, 0, 0);
    footerStack->setSpacing(10);
    m_footerHintLabel = makeLabel({}, OnboardingStyle::systemFont(12), white(0.56));
    m_footerHintLabel->setObjectName(QStringLiteral("footerHintLabel"));
    footerStack->addWidget(m_footerHintLabel);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(12);
    m_backButton = new QPushButton(QStringLiteral("Back"));
    m_backButton->setObjectName(QStringLiteral("backButton"));
    m_continueButton = new QPushButton(QStringLiteral("Continue"));
    m_continueButton->setObjectName(QStringLiteral("continueButton"));
    buttonRow->addWidget(m_backButton, 0, Qt::AlignVCenter);
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_continueButton, 0, Qt::AlignVCenter);
    footerStack->addLayout(buttonRow);
    // Enter presses the focused button, as Space does (outside a dialog Qt leaves it off).
    m_backButton->setAutoDefault(true);
    m_continueButton->setAutoDefault(true);
    connect(m_backButton, &QPushButton::clicked, this, &OnboardingWindowController::goBack);
    connect(m_continueButton, &QPushButton::clicked, this, &OnboardingWindowController::advance);
    return footer;
}

void OnboardingWindowController::render(const OnboardingState& state)
{
    m_currentState = state;
    renderShell();
    const bool stepChanged = m_renderedStep != state.step;
    if (stepChanged) {
        rebuildCardContent(state);
        m_renderedStep = state.step;
    }
    updateDynamicContent(state);
    settleFocus(stepChanged);
    m_window->setWindowTitle(QStringLiteral("Wendlo Setup"));
}

void OnboardingWindowController::renderShell()
{
    const OnboardingStep step = m_currentState.step;
    for (OnboardingStepChipView* chip : m_stepViews)
        chip->render(step, chip->step().stepNumber() < step.stepNumber());

    const StepTexts texts = stepTexts(step, m_hotKeyText, !m_hotKeyProblem);
    m_titleLabel->setText(texts.title);
    m_subtitleLabel->setText(texts.subtitle);
    m_footerHintLabel->setText(texts.footerHint);
    m_footerHintLabel->setVisible(!texts.footerHint.isEmpty());
    m_backButton->setVisible(step.previous().has_value());
    m_continueButton->setText(step == OnboardingStep::Ready ? QStringLiteral("Finish Setup")
                                                            : QStringLiteral("Continue"));
    m_continueButton->setEnabled(mayContinue(m_currentState));
    applyButtonTitleStyle(m_backButton, backLook);
    applyButtonTitleStyle(m_continueButton, primaryLook);
}

void OnboardingWindowController::rebuildCardContent(const OnboardingState& state)
{
    clearArrangedSubviews();
    QWidget* card = nullptr;
    switch (state.step) {
    case OnboardingStep::Welcome:
        card = makeChecklistCard(
            QStringLiteral("What happens"),
            {QStringLiteral("Allow Microphone"), QStringLiteral("Allow Accessibility"),
             QStringLiteral("Try one sentence"), QStringLiteral("Start dictating")});
        break;
    case OnboardingStep::Microphone:
    case OnboardingStep::Accessibility:
        card = makePermissionStepCard();
        break;
    case OnboardingStep::Practice:
        card = makePracticeCard();
        break;
    case OnboardingStep::Ready:
        card = makeChecklistCard(QStringLiteral("Use it like this"),
                                 {QStringLiteral("Focus any text field"),
                                  QStringLiteral("Hold %1 while you speak").arg(m_hotKeyText),
                                  QStringLiteral("Release to insert cleaned text")});
        break;
    }
    m_cardStack->addWidget(card);
    // Shown now rather than on the layout's deferred show, so a snapshot right after a render
    // already has the card.
    card->show();
    if (state.step == OnboardingStep::Practice)
        focusPracticeFieldSoon();
}

QWidget* OnboardingWindowController::forwardFocusTarget() const
{
    if (m_currentState.step == OnboardingStep::Practice &&
        m_practiceTextView->isVisibleTo(m_window.get()))
        return m_practiceTextView;
    if (m_continueButton->isEnabled())
        return m_continueButton;
    if (m_permissionButton->isVisibleTo(m_window.get()))
        return m_permissionButton;
    return nullptr;
}

void OnboardingWindowController::settleFocus(bool stepChanged)
{
    // Keyboard focus goes forward, never to Back: disabling Continue or hiding the
    // permission button makes Qt pass focus along the chain, which can end on Back, and
    // the next Space would undo a step.
    QWidget* focused = m_window->focusWidget();
    const bool usable = focused && focused != m_backButton && focused->isEnabled() &&
                        focused->isVisibleTo(m_window.get());
    if (usable && !stepChanged)
        return;
    if (QWidget* target = forwardFocusTarget())
        target->setFocus(Qt::OtherFocusReason);
    else if (focused == m_backButton)
        m_backButton->clearFocus();
}

std::array<QWidget*, 7> OnboardingWindowController::cardControls() const
{
    return {m_practicePromptLabel, m_practiceInstructionLabel, m_practiceContainer,
            m_practiceStatusLabel, m_clearPracticeButton,      m_permissionButton,
            m_hotKeySettingsButton};
}

void OnboardingWindowController::clearArrangedSubviews()
{
    // The long-lived controls go back to the root view first, so deleting the old card
    // cannot take them with it.
    for (QWidget* widget : cardControls()) {
        if (widget->parentWidget() != m_window.get()) {
            widget->hide();
            widget->setParent(m_window.get());
        }
    }
    while (QLayoutItem* item = m_cardStack->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

QWidget* OnboardingWindowController::makeChecklistCard(const QString& title,
                                                       const QStringList& lines)
{
    QVBoxLayout* stack = nullptr;
    QWidget* card = makeCardContainer(stack);
    stack->addWidget(makeLabel(title, OnboardingStyle::systemFont(18, QFont::DemiBold), Qt::white));
    for (const QString& line : lines)
        stack->addWidget(makeChecklistRow(line));
    return card;
}

QWidget* OnboardingWindowController::makePermissionStepCard()
{
    QVBoxLayout* stack = nullptr;
    QWidget* card = makeCardContainer(stack);
    QLabel* status = makeLabel({}, OnboardingStyle::systemFont(18, QFont::DemiBold), Qt::white);
    status->setObjectName(QStringLiteral("permission-status"));
    QLabel* detail = makeWrappingLabel({}, OnboardingStyle::systemFont(14), white(0.7), 2);
    detail->setObjectName(QStringLiteral("permission-detail"));
    stack->addWidget(status);
    stack->addWidget(detail);
    stack->addWidget(m_permissionButton, 0, Qt::AlignLeft);
    m_permissionButton->show();
    return card;
}

QWidget* OnboardingWindowController::makePracticeCard()
{
    QVBoxLayout* stack = nullptr;
    QWidget* card = makeCardContainer(stack);
    stack->addWidget(m_practicePromptLabel);
    stack->addWidget(m_practiceInstructionLabel);
    stack->addWidget(m_practiceContainer);

    auto* bottomRow = new QWidget;
    auto* rowLayout = new QHBoxLayout(bottomRow);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(12);
    rowLayout->addWidget(m_practiceStatusLabel, 0, Qt::AlignVCenter);
    rowLayout->addStretch(1);
    rowLayout->addWidget(m_hotKeySettingsButton, 0, Qt::AlignVCenter);
    rowLayout->addWidget(m_clearPracticeButton, 0, Qt::AlignVCenter);
    stack->addWidget(bottomRow);
    applyButtonTitleStyle(m_clearPracticeButton, clearLook);
    applyButtonTitleStyle(m_hotKeySettingsButton, clearLook);

    for (QWidget* widget : cardControls()) {
        if (widget != m_permissionButton && widget != m_hotKeySettingsButton)
            widget->show();
    }
    m_hotKeySettingsButton->setVisible(m_hotKeyProblem || m_hotKeyBinding);
    return card;
}

void OnboardingWindowController::updateDynamicContent(const OnboardingState& state)
{
    switch (state.step) {
    case OnboardingStep::Microphone:
        switch (state.microphoneState) {
        case MicrophonePermissionState::Granted:
            updatePermissionCard(QStringLiteral("Microphone is ready"),
                                 QStringLiteral("Recording is ready."), QString(), true,
                                 &OnboardingWindowController::requestMicrophone);
            break;
        case MicrophonePermissionState::Denied:
            updatePermissionCard(QStringLiteral("Turn microphone back on"),
                                 QStringLiteral("Open Settings and enable Wendlo."),
                                 QStringLiteral("Open Microphone Settings"), false,
                                 &OnboardingWindowController::requestMicrophone);
            break;
        case MicrophonePermissionState::Undetermined:
            updatePermissionCard(QStringLiteral("Allow microphone access"),
                                 QStringLiteral("The system will ask once."),
                                 QStringLiteral("Allow Microphone"), false,
                                 &OnboardingWindowController::requestMicrophone);
            break;
        }
        break;
    case OnboardingStep::Accessibility:
        if (state.accessibilityGranted) {
            updatePermissionCard(QStringLiteral("Text insertion is ready"),
                                 QStringLiteral("Wendlo can type into your active field."),
                                 QString(), true,
                                 &OnboardingWindowController::requestAccessibility);
        } else {
            updatePermissionCard(QStringLiteral("Allow Accessibility"),
                                 QStringLiteral("Open Accessibility and turn Wendlo on."),
                                 QStringLiteral("Set Up Accessibility"), false,
                                 &OnboardingWindowController::requestAccessibility);
        }
        break;
    case OnboardingStep::Practice:
        // A key that cannot work is the first thing to fix; the sentence waits for it.
        if (m_hotKeyProblem) {
            m_practiceInstructionLabel->setText(*m_hotKeyProblem);
            OnboardingStyle::setTextColor(m_practiceInstructionLabel,
                                          QColor::fromRgbF(1.0f, 0.72f, 0.45f, 1.0f));
        } else if (m_hotKeyBinding) {
            m_practiceInstructionLabel->setText(*m_hotKeyBinding);
            OnboardingStyle::setTextColor(m_practiceInstructionLabel, white(0.78));
        } else {
            m_practiceInstructionLabel->setText(
                QStringLiteral("Click the field first, then dictate the sentence."));
            OnboardingStyle::setTextColor(m_practiceInstructionLabel, white(0.62));
        }
        m_hotKeySettingsButton->setVisible(m_hotKeyProblem || m_hotKeyBinding);
        // Only a different text is written, so the user's caret and focus survive renders.
        if (m_practiceTextView->toPlainText() != state.practiceText)
            setPracticeFieldText(state.practiceText);
        if (OnboardingPractice::correctedTranscript(state.practiceText)) {
            m_practiceStatusLabel->setText(QStringLiteral("Matched. Continue."));
            OnboardingStyle::setTextColor(m_practiceStatusLabel,
                                          QColor::fromRgbF(0.48f, 0.88f, 0.58f, 1.0f));
        } else {
            m_practiceStatusLabel->setText(QStringLiteral("Match the sentence to continue."));
            OnboardingStyle::setTextColor(m_practiceStatusLabel, white(0.62));
        }
        break;
    case OnboardingStep::Welcome:
    case OnboardingStep::Ready:
        break;
    }
}

void OnboardingWindowController::setHotKey(const QString& displayText,
                                           const std::optional<QString>& problem,
                                           const std::optional<QString>& binding)
{
    if (displayText == m_hotKeyText && problem == m_hotKeyProblem && binding == m_hotKeyBinding)
        return;
    m_hotKeyText = displayText;
    m_hotKeyProblem = problem;
    m_hotKeyBinding = binding;
    if (!m_renderedStep)
        return;
    // The cards name the key too: build the current one afresh.
    m_renderedStep.reset();
    render(m_currentState);
}

void OnboardingWindowController::openHotKeySettings()
{
    if (onOpenHotKeySettings)
        onOpenHotKeySettings();
}

void OnboardingWindowController::updatePermissionCard(const QString& status, const QString& detail,
                                                      const QString& buttonTitle, bool buttonHidden,
                                                      void (OnboardingWindowController::*action)())
{
    QLabel* statusLabel = findLabel(m_cardStackView, QStringLiteral("permission-status"));
    QLabel* detailLabel = findLabel(m_cardStackView, QStringLiteral("permission-detail"));
    if (!statusLabel || !detailLabel)
        return;
    statusLabel->setText(status);
    detailLabel->setText(detail);
    m_permissionButton->setText(buttonHidden ? QStringLiteral("Allowed") : buttonTitle);
    m_permissionButton->setVisible(!buttonHidden);
    m_permissionAction = action;
    applyButtonTitleStyle(m_permissionButton, primaryLook);
}

void OnboardingWindowController::focusPracticeFieldSoon()
{
    postTask(this, [this] {
        if (m_currentState.step == OnboardingStep::Practice)
            m_practiceTextView->setFocus(Qt::OtherFocusReason);
    });
}

void OnboardingWindowController::setPracticeFieldText(const QString& text)
{
    // Writes made here are not the user's edits and are never reported.
    const QScopedValueRollback<bool> writing(m_writingPracticeField, true);
    m_practiceFieldText = text;
    m_practiceTextView->setPlainText(text);
    m_practiceTextView->moveCursor(QTextCursor::End);
}

void OnboardingWindowController::practiceTextDidChange()
{
    if (m_writingPracticeField)
        return;
    const QString text = m_practiceTextView->toPlainText();
    // Format-only document changes also signal; only a different text is an edit.
    if (text == m_practiceFieldText)
        return;
    m_practiceFieldText = text;
    if (onPracticeTextChange)
        onPracticeTextChange(text);
}

void OnboardingWindowController::advance()
{
    if (m_currentState.step == OnboardingStep::Ready) {
        if (onFinish)
            onFinish();
    } else if (onAdvance) {
        onAdvance();
    }
}

void OnboardingWindowController::goBack()
{
    if (onBack)
        onBack();
}

void OnboardingWindowController::requestMicrophone()
{
    if (onRequestMicrophone)
        onRequestMicrophone();
}

void OnboardingWindowController::requestAccessibility()
{
    if (onRequestAccessibility)
        onRequestAccessibility();
}

void OnboardingWindowController::clearPractice()
{
    setPracticeFieldText(QString());
    if (onPracticeTextChange)
        onPracticeTextChange(QString());
}

void OnboardingWindowController::showPreview(OnboardingStep step)
{
    showWindow();
    const QString sentence = OnboardingPractice::expectedSentence();
    OnboardingState state;
    state.step = step;
    switch (step) {
    case OnboardingStep::Welcome:
    case OnboardingStep::Microphone:
        break;
    case OnboardingStep::Accessibility:
        state.microphoneState = MicrophonePermissionState::Granted;
        break;
    case OnboardingStep::Practice:
    case OnboardingStep::Ready:
        state.microphoneState = MicrophonePermissionState::Granted;
        state.accessibilityGranted = true;
        state.practiceText = sentence;
        break;
    }
    render(state);
}

Failure OnboardingWindowController::captureSnapshot(const QString& filePath)
{
    QWidget* content = m_window.get();
    if (!content)
        return QuorError{QStringLiteral("Could not capture onboarding snapshot")};

    // Lay out whatever is pending (labels and buttons changed by the last render). Each
    // round lets a changed size reach one more parent layout; the tree is a few levels deep.
    content->ensurePolished();
    for (int round = 0; round < 8; ++round)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    const qreal ratio = content->devicePixelRatioF();
    QImage bitmap((QSizeF(content->size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull())
        return QuorError{QStringLiteral("Could not create onboarding snapshot bitmap")};
    bitmap.setDevicePixelRatio(ratio);
    bitmap.fill(Qt::black);
    content->render(&bitmap);

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(bitmap))
        return QuorError{QStringLiteral("Could not encode onboarding snapshot")};

    // The file system's own error, with the path it concerns.
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        return QuorError{filePath + QStringLiteral(": ") + file.errorString()};
    return std::nullopt;
}

void OnboardingWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void OnboardingWindowController::close()
{
    m_window->close();
}

bool OnboardingWindowController::isVisible() const
{
    return m_window->isVisible();
}

QWidget* OnboardingWindowController::window() const
{
    return m_window.get();
}

bool OnboardingWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get()) {
        if (event->type() == QEvent::Close) {
            // The next render builds the card afresh, even for the same step.
            m_renderedStep.reset();
        } else if (event->type() == QEvent::Resize) {
            m_backgroundView->setGeometry(m_window->rect());
        }
    }
    return QObject::eventFilter(watched, event);
}
