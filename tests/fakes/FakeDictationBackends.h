#pragma once

#include "dictation/DictationBackends.h"
#include "fakes/FakeAccessibility.h"
#include "fakes/FakeAudioCapture.h"
#include "fakes/FakeClipboard.h"
#include "fakes/FakeHotKeyBackend.h"
#include "fakes/FakeRecordPermission.h"
#include "fakes/FakeSettingsLinkOpener.h"
#include "fakes/FakeSyntheticKeys.h"
#include "fakes/FakeTranscriber.h"
#include "fakes/FakeDesktopPresence.h"

// A full set of fakes. `make()` hands ownership to the coordinator; the raw pointers stay
// valid as long as it lives, as the test's control face.
struct FakeDictationBackends
{
    FakeHotKeyBackend* hotKey = nullptr;
    FakeAudioCapture* audioCapture = nullptr;
    FakeRecordPermission* recordPermission = nullptr;
    std::shared_ptr<FakeTranscriber> transcriber;
    FakeAccessibility* accessibility = nullptr;
    FakeClipboard* clipboard = nullptr;
    FakeSyntheticKeys* pasteKeys = nullptr;
    FakeAccessibilityTrust* accessibilityTrust = nullptr;
    FakeDesktopPresence* presence = nullptr;
    FakeSettingsLinkOpener* settingsLinks = nullptr;
    FakeSyntheticKeys* selfTestKeys = nullptr;

    DictationBackends make()
    {
        DictationBackends b;
        b.hotKey = own(hotKey);
        b.audioCapture = own(audioCapture);
        b.recordPermission = own(recordPermission);
        transcriber = std::make_shared<FakeTranscriber>(QStringLiteral("hello world"));
        b.transcriber = transcriber;
        b.accessibility = own(accessibility);
        b.clipboard = own(clipboard);
        b.pasteKeys = own(pasteKeys);
        b.accessibilityTrust = own(accessibilityTrust);
        b.presence = own(presence);
        b.settingsLinks = own(settingsLinks);
        b.selfTestKeys = own(selfTestKeys);
        return b;
    }

private:
    template <typename T>
    static std::unique_ptr<T> own(T*& observer)
    {
        auto owned = std::make_unique<T>();
        observer = owned.get();
        return owned;
    }
};
