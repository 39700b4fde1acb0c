#pragma once

#include <QString>

// What the dictation pipeline is doing; `message` is set only for Error.
struct DictationState
{
    enum class Kind { Idle, Recording, Transcribing, Error };

    Kind kind = Kind::Idle;
    QString message;

    static DictationState idle() { return {Kind::Idle, {}}; }
    static DictationState recording() { return {Kind::Recording, {}}; }
    static DictationState transcribing() { return {Kind::Transcribing, {}}; }
    static DictationState error(QString message) { return {Kind::Error, std::move(message)}; }

    bool isIdle() const { return kind == Kind::Idle; }
    bool isRecording() const { return kind == Kind::Recording; }
    bool isTranscribing() const { return kind == Kind::Transcribing; }
    bool isError() const { return kind == Kind::Error; }

    // "Idle", "Recording", "Transcribing" or "Error: " + message.
    QString label() const
    {
        switch (kind) {
        case Kind::Idle: return QStringLiteral("Idle");
        case Kind::Recording: return QStringLiteral("Recording");
        case Kind::Transcribing: return QStringLiteral("Transcribing");
        case Kind::Error: return QStringLiteral("Error: ") + message;
        }
        return {};
    }

    friend bool operator==(const DictationState&, const DictationState&) = default;
};
