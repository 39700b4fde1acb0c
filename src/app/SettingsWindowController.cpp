#include "app/SettingsWindowController.h"

#include "app/AppSettings.h"
#include "common/DebugLog.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/WhisperLanguages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {

QLabel* makeNote(const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void markProblem(QLabel* label, bool problem)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     problem ? QColor(0xb0, 0x2a, 0x1e)
                             : label->parentWidget()->palette().color(QPalette::WindowText));
    label->setPalette(palette);
}

} // namespace

SettingsWindowController::SettingsWindowController(AppSettings& settings,
                                                   DictationCoordinator& dictation,
                                                   AutostartEntry autostart, ModelFiles models,
                                                   QObject* parent)
    : QObject(parent), m_settings(settings), m_dictation(dictation),
      m_autostart(std::move(autostart)), m_models(std::move(models))
{
    buildUI();
}

SettingsWindowController::~SettingsWindowController()
{
    // The key editor reports "editing finished" when it loses focus, also while the window
    // is torn down: nothing may answer it then.
    m_hotKeyEdit->disconnect(this);
    m_window.reset();
}

void SettingsWindowController::buildUI()
{
    m_window = std::make_unique<QWidget>();
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->setWindowTitle(QStringLiteral("Wendlo Settings"));
    QWidget* root = m_window.get();

    // One section per setting, notes the whole width of the window: they wrap, and the
    // window grows to show them whole (see fitToContent).
    auto* layout = new QVBoxLayout(root);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(6);
    const auto heading = [&](const QString& text) {
        auto* label = new QLabel(text, root);
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
        if (layout->count() > 0)
            layout->addSpacing(12);
        layout->addWidget(label);
    };

    heading(QStringLiteral("Hot key"));
    auto* hotKeyRow = new QHBoxLayout;
    m_hotKeyEdit = new QKeySequenceEdit(root);
    m_hotKeyEdit->setObjectName(QStringLiteral("hotKeyEdit"));
    m_hotKeyEdit->setToolTip(QStringLiteral("Click, then press the keys you want to hold"));
    m_defaultHotKeyButton =
        new QPushButton(QStringLiteral("Use %1").arg(HotKey::standard().displayText()), root);
    m_defaultHotKeyButton->setObjectName(QStringLiteral("defaultHotKeyButton"));
    hotKeyRow->addWidget(m_hotKeyEdit, 1);
    hotKeyRow->addWidget(m_defaultHotKeyButton);
    layout->addLayout(hotKeyRow);
    m_hotKeyStatus = makeNote(QStringLiteral("hotKeyStatus"), root);
    layout->addWidget(m_hotKeyStatus);

    heading(QStringLiteral("Language"));
    m_languageBox = new QComboBox(root);
    m_languageBox->setObjectName(QStringLiteral("languageBox"));
    m_languageBox->addItem(QStringLiteral("Recogniser default (English)"), QString());
    m_languageBox->addItem(QStringLiteral("Automatic (detect the language)"),
                           WhisperLanguages::automatic);
    std::vector<WhisperLanguages::Language> byName(WhisperLanguages::all().begin(),
                                                   WhisperLanguages::all().end());
    std::sort(byName.begin(), byName.end(), [](const auto& a, const auto& b) {
        return QString::fromLatin1(a.name) < QString::fromLatin1(b.name);
    });
    for (const WhisperLanguages::Language& language : byName)
        m_languageBox->addItem(QString::fromLatin1(language.name),
                               QString::fromLatin1(language.code));
    layout->addWidget(m_languageBox);

    heading(QStringLiteral("Start at login"));
    m_autostartBox = new QCheckBox(QStringLiteral("Start Wendlo when you log in"), root);
    m_autostartBox->setObjectName(QStringLiteral("autostartBox"));
    layout->addWidget(m_autostartBox);
    m_autostartStatus = makeNote(QStringLiteral("autostartStatus"), root);
    layout->addWidget(m_autostartStatus);

    heading(QStringLiteral("Speech model"));
    m_modelBox = new QComboBox(root);
    m_modelBox->setObjectName(QStringLiteral("modelBox"));
    layout->addWidget(m_modelBox);
    m_modelPath = makeNote(QStringLiteral("modelPath"), root);
    layout->addWidget(m_modelPath);
    m_modelHint = makeNote(QStringLiteral("modelHint"), root);
    layout->addWidget(m_modelHint);

    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* closeButton = new QPushButton(QStringLiteral("Close"), root);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    m_window->resize(windowWidth, layout->totalHeightForWidth(windowWidth));

    connect(m_hotKeyEdit, &QKeySequenceEdit::editingFinished, this,
            &SettingsWindowController::keyEdited);
    connect(m_defaultHotKeyButton, &QPushButton::clicked, this,
            [this] { chooseHotKey(HotKey::standard().combination()); });
    connect(m_languageBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_rendering)
            chooseLanguage(m_languageBox->itemData(index).toString());
    });
    connect(m_modelBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_rendering && index >= 0)
            chooseModel(m_modelBox->itemData(index).toString());
    });
    connect(m_autostartBox, &QCheckBox::toggled, this, [this](bool checked) {
        if (!m_rendering)
            setStartAtLogin(checked);
    });
    connect(closeButton, &QPushButton::clicked, this, &SettingsWindowController::close);
}

void SettingsWindowController::render()
{
    m_rendering = true;
    const HotKey key = m_dictation.hotKey();
    m_hotKeyEdit->setKeySequence(QKeySequence(key.combination()));
    // Qt writes the logo key as "Meta+D"; everywhere else the user reads "Super + D".
    if (auto* text = m_hotKeyEdit->findChild<QLineEdit*>())
        text->setText(key.displayText());
    if (const std::optional<QString> problem = m_dictation.hotKeyProblem())
        showHotKeyStatus(*problem, true);
    else if (const std::optional<QString> binding = m_dictation.hotKeyBinding())
        showHotKeyStatus(QStringLiteral("%1 is bound in the compositor on this desktop, not by "
                                        "Wendlo. ")
                                 .arg(key.displayText()) +
                             *binding,
                         false);
    else if (m_dictation.desktopChoseHotKeyTrigger())
        showHotKeyStatus(QStringLiteral("Hold %1 to dictate: the desktop's shortcut settings "
                                        "chose it. %2 stays the key Wendlo asks for.")
                             .arg(m_dictation.hotKeyText(), key.displayText()),
                         false);
    else if (m_settings.hotKeyFromEnvironment())
        showHotKeyStatus(QStringLiteral("Hold %1 to dictate. WENDLO_HOTKEY chose it for this "
                                        "run; a key chosen here is kept for the next.")
                             .arg(key.displayText()),
                         false);
    else
        showHotKeyStatus(QStringLiteral("Hold %1 to dictate.").arg(key.displayText()), false);

    const int languageIndex = m_languageBox->findData(m_settings.language());
    m_languageBox->setCurrentIndex(std::max(0, languageIndex));

    m_autostartBox->setChecked(m_autostart.isEnabled());
    m_autostartStatus->setText(m_autostart.isEnabled()
                                   ? QStringLiteral("Starts from %1").arg(m_autostart.path())
                                   : QString());
    m_autostartStatus->setVisible(!m_autostartStatus->text().isEmpty());
    markProblem(m_autostartStatus, false);

    renderModel();
    m_rendering = false;
    fitToContent();
}

void SettingsWindowController::renderModel()
{
    const QString chosen = m_settings.model();
    QStringList names = m_models.installed ? m_models.installed() : QStringList();
    const bool chosenInstalled = names.contains(chosen);
    m_modelBox->clear();
    for (const QString& name : names)
        m_modelBox->addItem(name, name);
    // A chosen model that is gone stays chosen, so the user sees what dictation will miss.
    if (!chosenInstalled)
        m_modelBox->addItem(QStringLiteral("%1 (not found)").arg(chosen), chosen);
    m_modelBox->setCurrentIndex(m_modelBox->findData(chosen));

    const Result<QString> model =
        m_models.lookup ? m_models.lookup(chosen)
                        : Result<QString>(QuorError{QStringLiteral("No model lookup")});
    if (model) {
        m_modelPath->setText(model.value());
        m_modelHint->setText(QString());
        markProblem(m_modelPath, false);
    } else {
        // The recogniser's own message says where the model goes and what fetches it.
        m_modelPath->setText(QStringLiteral("Not found"));
        m_modelHint->setText(model.error().message);
        markProblem(m_modelPath, true);
    }
    m_modelHint->setVisible(!m_modelHint->text().isEmpty());
}

void SettingsWindowController::fitToContent()
{
    // Wrapped notes need more height as they grow; the window never cuts them.
    QLayout* layout = m_window->layout();
    layout->activate();
    const int width = std::max(m_window->width(), windowWidth);
    const int height = layout->totalHeightForWidth(width);
    if (m_window->height() < height || m_window->width() < width)
        m_window->resize(width, std::max(m_window->height(), height));
}

void SettingsWindowController::showHotKeyStatus(const QString& text, bool problem)
{
    m_hotKeyStatus->setText(text);
    markProblem(m_hotKeyStatus, problem);
}

void SettingsWindowController::keyEdited()
{
    const QKeySequence sequence = m_hotKeyEdit->keySequence();
    if (sequence.isEmpty()) {
        render();
        return;
    }
    // The editor records up to four chords; the first is the key the user pressed. It also
    // reports every loss of focus, unchanged or not.
    if (sequence[0] == m_dictation.hotKey().combination() && !m_dictation.hotKeyProblem())
        return;
    chooseHotKey(sequence[0]);
}

std::optional<QString> SettingsWindowController::chooseHotKey(QKeyCombination combination)
{
    const HotKey previous = m_dictation.hotKey();
    const Result<HotKey> key = HotKey::fromCombination(combination);
    std::optional<QString> failure;
    if (!key)
        failure = QStringLiteral("That key cannot be the hot key: ") + key.error().message + '.';
    else
        failure = m_dictation.changeHotKey(key.value());
    if (failure) {
        render();
        showHotKeyStatus(*failure + QStringLiteral(" Still using %1.").arg(previous.displayText()),
                         true);
        fitToContent();
        return failure;
    }
    m_settings.setHotKey(key.value());
    render();
    if (onHotKeyChanged)
        onHotKeyChanged();
    return std::nullopt;
}

void SettingsWindowController::chooseLanguage(const QString& code)
{
    m_settings.setLanguage(code);
    DebugLog::write(QStringLiteral("language=") +
                    (code.isEmpty() ? QStringLiteral("default") : code));
    render();
}

void SettingsWindowController::chooseModel(const QString& name)
{
    m_settings.setModel(name);
    DebugLog::write(QStringLiteral("model=") + name);
    render();
    if (onModelChanged)
        onModelChanged();
}

void SettingsWindowController::setStartAtLogin(bool enabled)
{
    const Failure failure = m_autostart.setEnabled(enabled);
    render();
    if (failure) {
        m_autostartStatus->setText(failure->message);
        m_autostartStatus->setVisible(true);
        markProblem(m_autostartStatus, true);
        fitToContent();
    }
}

void SettingsWindowController::showWindow()
{
    render();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void SettingsWindowController::focusHotKey()
{
    m_hotKeyEdit->setFocus(Qt::OtherFocusReason);
}

void SettingsWindowController::close()
{
    m_window->hide();
}

bool SettingsWindowController::isVisible() const
{
    return m_window->isVisible();
}

QWidget* SettingsWindowController::window() const
{
    return m_window.get();
}
