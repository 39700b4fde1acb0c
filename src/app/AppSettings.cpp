#include "app/AppSettings.h"

#include "common/DebugLog.h"
#include "dictation/WhisperCLITranscriber.h"
#include "dictation/WhisperLanguages.h"

namespace {

std::optional<HotKey> storedHotKey(QSettings& store)
{
    const QVariant value = store.value(AppSettings::hotKeyKey());
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QString) {
        DebugLog::write(QStringLiteral("hot key setting ignored: not a text"));
        return std::nullopt;
    }
    const Result<HotKey> key = HotKey::parse(value.toString());
    if (!key) {
        DebugLog::write(QStringLiteral("hot key setting ignored: ") + key.error().message);
        return std::nullopt;
    }
    return key.value();
}

} // namespace

AppSettings::AppSettings(std::unique_ptr<QSettings> store, QProcessEnvironment environment)
    : m_store(std::move(store)), m_environment(std::move(environment))
{
}

bool AppSettings::hotKeyFromEnvironment() const
{
    const QString value = m_environment.value(QStringLiteral("WENDLO_HOTKEY"));
    return !value.trimmed().isEmpty() && HotKey::parse(value).ok();
}

HotKey AppSettings::hotKey() const
{
    const QString overriding = m_environment.value(QStringLiteral("WENDLO_HOTKEY"));
    if (!overriding.trimmed().isEmpty()) {
        const Result<HotKey> key = HotKey::parse(overriding);
        if (key)
            return key.value();
        DebugLog::write(QStringLiteral("WENDLO_HOTKEY ignored: ") + key.error().message);
    }
    return storedHotKey(*m_store).value_or(HotKey::standard());
}

void AppSettings::setHotKey(const HotKey& key)
{
    m_store->setValue(hotKeyKey(), key.portableText());
    m_store->sync();
}

QString AppSettings::languageIn(QSettings& store)
{
    const QVariant value = store.value(languageKey());
    if (!value.isValid())
        return QString();
    const QString code = value.toString().trimmed().toLower();
    if (value.typeId() != QMetaType::QString || !WhisperLanguages::isKnown(code)) {
        DebugLog::write(QStringLiteral("language setting ignored: not one of whisper's "
                                       "languages"));
        return QString();
    }
    return code;
}

QString AppSettings::language() const
{
    return languageIn(*m_store);
}

void AppSettings::setLanguage(const QString& code)
{
    if (code.isEmpty())
        m_store->remove(languageKey());
    else
        m_store->setValue(languageKey(), code);
    m_store->sync();
}

QString AppSettings::modelIn(QSettings& store)
{
    const QVariant value = store.value(modelKey());
    if (!value.isValid())
        return WhisperCLITranscriber::defaultModel();
    const QString name = value.toString().trimmed();
    if (value.typeId() != QMetaType::QString || !WhisperCLITranscriber::isModelName(name)) {
        DebugLog::write(QStringLiteral("model setting ignored: not a model name"));
        return WhisperCLITranscriber::defaultModel();
    }
    return name;
}

QString AppSettings::model() const
{
    return modelIn(*m_store);
}

void AppSettings::setModel(const QString& name)
{
    if (name.isEmpty())
        m_store->remove(modelKey());
    else
        m_store->setValue(modelKey(), name);
    m_store->sync();
}
