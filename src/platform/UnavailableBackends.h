#pragma once

#include "platform/AccessibilityBackend.h"
#include "platform/AudioCaptureBackend.h"
#include "platform/ClipboardBackend.h"
#include "platform/HotKeyBackend.h"
#include "platform/OverlayWindowBackend.h"
#include "platform/RecordPermission.h"
#include "platform/SettingsLinkOpener.h"
#include "platform/SyntheticKeys.h"

// Back ends for services this session cannot offer. Each one fails every request with the
// reason, so the user sees why instead of a silent no-op.

class UnavailableHotKey : public HotKeyBackend
{
public:
    explicit UnavailableHotKey(QString reason) : m_reason(std::move(reason)) {}
    std::optional<QString> registerHotKey(QKeyCombination, Handler) override { return m_reason; }

private:
    QString m_reason;
};

class UnavailableAudioCapture : public AudioCaptureBackend
{
public:
    explicit UnavailableAudioCapture(QString reason) : m_reason(std::move(reason)) {}
    Result<std::unique_ptr<AudioRecording>> makeRecording(const QString&) override
    {
        return QuorError{m_reason};
    }

private:
    QString m_reason;
};

class UnavailableRecordPermission : public RecordPermission
{
public:
    MicrophonePermissionState state() const override { return MicrophonePermissionState::Denied; }
    void requestAccess(std::function<void(bool)> completion) override { completion(false); }
};

class UnavailableAccessibility : public AccessibilityBackend
{
public:
    bool isTrusted() override { return false; }
    bool isTrustedWithPrompt() override { return false; }
    std::unique_ptr<FocusedTextElement> focusedElement() override { return nullptr; }
};

class UnavailableClipboard : public ClipboardBackend
{
public:
    explicit UnavailableClipboard(QString reason = QStringLiteral("no clipboard in this session"))
        : m_reason(std::move(reason))
    {
    }
    qint64 changeCount(Selection) const override { return 0; }
    QList<ClipboardItem> items(Selection) const override { return {}; }
    void clearContents(Selection) override {}
    void writeItems(Selection, const QList<ClipboardItem>&) override {}
    void setTransientText(Selection, const QString&) override {}
    bool ownsSelection(Selection) const override { return false; }
    bool reportsReads() const override { return false; }
    std::optional<QString> unavailableReason() const override { return m_reason; }

private:
    QString m_reason;
};

class UnavailableKeys : public SyntheticKeys
{
public:
    PasteTarget pasteTarget() override { return {}; }
    bool postPaste(PasteChord) override { return false; }
    bool postHotKey(QKeyCombination, bool) override { return false; }
};

class UnavailableSettingsLinks : public SettingsLinkOpener
{
public:
    bool openPrivacySecurity(const QString&) override { return false; }
};

// The pill stays hidden: better no pill than one that takes the focus from the user's field.
class UnavailableOverlayWindow : public OverlayWindowBackend
{
public:
    bool canShow() override { return false; }
    void prepareToShow(QWidget*) override {}
};
