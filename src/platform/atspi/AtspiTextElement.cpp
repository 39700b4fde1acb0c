#include "platform/atspi/AtspiTextElement.h"

#include "common/DebugLog.h"

#include <atspi/atspi.h>

namespace {

// True (and the error released and logged) when a libatspi call failed.
bool failed(GError*& error)
{
    if (!error)
        return false;
    DebugLog::write(QStringLiteral("accessibility call failed: ") +
                    QString::fromUtf8(error->message));
    g_clear_error(&error);
    return true;
}

bool splitsPair(const QString& s, qsizetype i)
{
    return i > 0 && i < s.size() && s.at(i).isLowSurrogate() && s.at(i - 1).isHighSurrogate();
}

} // namespace

AtspiTextElement::AtspiTextElement(AtspiHandle accessible, ToolkitOffsets offsets)
    : m_accessible(std::move(accessible)), m_offsets(offsets)
{
}

AtspiTextElement::~AtspiTextElement() = default;

std::optional<QString> AtspiTextElement::readText()
{
    AtspiText* text = atspi_accessible_get_text_iface(m_accessible.get());
    if (!text)
        return std::nullopt;
    GError* error = nullptr;
    gchar* utf8 = atspi_text_get_text(text, 0, -1, &error);
    g_object_unref(text);
    if (failed(error) || !utf8) {
        g_free(utf8);
        return std::nullopt;
    }
    QString result = QString::fromUtf8(utf8);
    g_free(utf8);
    return result;
}

bool AtspiTextElement::isSecret()
{
    if (!m_secret) {
        GError* error = nullptr;
        const AtspiRole role = atspi_accessible_get_role(m_accessible.get(), &error);
        // A field that cannot tell what it is might be one: it is treated as masked.
        m_secret = failed(error) || role == ATSPI_ROLE_PASSWORD_TEXT;
    }
    return *m_secret;
}

std::optional<QString> AtspiTextElement::value()
{
    if (isSecret())
        return std::nullopt;
    // Text that cannot be edited is not a value to splice into: such elements take the
    // clipboard path (a terminal, say, still accepts a paste).
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(m_accessible.get());
    if (!editable)
        return std::nullopt;
    g_object_unref(editable);
    m_text = readText();
    // libatspi answers for an application that has gone with empty values and no error; only
    // the state set tells. Asked after the read, so a field that went meanwhile is caught.
    if (m_text && isDefunct())
        m_text.reset();
    return m_text;
}

std::optional<TextRange> AtspiTextElement::selectedRange()
{
    if (!m_text && !value())
        return std::nullopt;
    AtspiText* text = atspi_accessible_get_text_iface(m_accessible.get());
    if (!text)
        return std::nullopt;
    GError* error = nullptr;
    std::optional<TextRange> result;
    const gint selections = atspi_text_get_n_selections(text, &error);
    if (!failed(error) && selections > 0) {
        AtspiRange* range = atspi_text_get_selection(text, 0, &error);
        if (!failed(error) && range) {
            const qsizetype start =
                m_offsets.toUtf16(*m_text, qMin(range->start_offset, range->end_offset));
            const qsizetype end =
                m_offsets.toUtf16(*m_text, qMax(range->start_offset, range->end_offset));
            result = TextRange{start, end - start};
        }
        g_free(range);
    } else {
        const gint caret = atspi_text_get_caret_offset(text, &error);
        if (!failed(error) && caret >= 0)
            result = TextRange{m_offsets.toUtf16(*m_text, caret), 0};
    }
    g_object_unref(text);
    return result;
}

bool AtspiTextElement::isDefunct()
{
    AtspiStateSet* states = atspi_accessible_get_state_set(m_accessible.get());
    const bool defunct = !states || atspi_state_set_contains(states, ATSPI_STATE_DEFUNCT);
    if (states)
        g_object_unref(states);
    return defunct;
}

bool AtspiTextElement::isEditable()
{
    AtspiStateSet* states = atspi_accessible_get_state_set(m_accessible.get());
    const bool editable = states && atspi_state_set_contains(states, ATSPI_STATE_EDITABLE) &&
                          !atspi_state_set_contains(states, ATSPI_STATE_DEFUNCT);
    if (states)
        g_object_unref(states);
    return editable;
}

ValueWrite AtspiTextElement::readBack(const QString& before, const QString& wanted)
{
    m_text = readText();
    if (m_text == wanted)
        return ValueWrite::Exact;
    // Changed, but not to what was asked: the field altered the text as it took it.
    return m_text && *m_text != before ? ValueWrite::Changed : ValueWrite::Refused;
}

ValueWrite AtspiTextElement::setValue(const QString& wanted)
{
    // Some toolkits write read-only fields through accessibility all the same.
    if (isSecret() || !isEditable())
        return ValueWrite::Refused;
    const std::optional<QString> current = m_text ? m_text : readText();
    if (!current)
        return ValueWrite::Refused;

    if (replaceSpan(*current, wanted)) {
        const ValueWrite result = readBack(*current, wanted);
        // A write that took effect counts, altered or not: writing again would insert twice.
        if (result != ValueWrite::Refused)
            return result;
    }

    // The span edit changed nothing: some fields take only a whole new value.
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(m_accessible.get());
    if (!editable)
        return ValueWrite::Refused;
    GError* error = nullptr;
    atspi_editable_text_set_text_contents(editable, wanted.toUtf8().constData(), &error);
    g_object_unref(editable);
    if (failed(error))
        return ValueWrite::Refused;
    return readBack(*current, wanted);
}

bool AtspiTextElement::replaceSpan(const QString& current, const QString& wanted)
{
    const qsizetype shorter = qMin(current.size(), wanted.size());
    qsizetype prefix = 0;
    while (prefix < shorter && current.at(prefix) == wanted.at(prefix))
        ++prefix;
    if (splitsPair(current, prefix) || splitsPair(wanted, prefix))
        --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           current.at(current.size() - 1 - suffix) == wanted.at(wanted.size() - 1 - suffix))
        ++suffix;
    if (splitsPair(current, current.size() - suffix) || splitsPair(wanted, wanted.size() - suffix))
        --suffix;

    const qsizetype removedEnd = current.size() - suffix;
    const QString inserted = wanted.mid(prefix, wanted.size() - suffix - prefix);
    const gint start = gint(m_offsets.fromUtf16(current, prefix));

    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(m_accessible.get());
    if (!editable)
        return false;
    GError* error = nullptr;
    bool ok = true;
    if (removedEnd > prefix) {
        atspi_editable_text_delete_text(editable, start,
                                        gint(m_offsets.fromUtf16(current, removedEnd)), &error);
        ok = !failed(error);
    }
    if (ok && !inserted.isEmpty()) {
        atspi_editable_text_insert_text(editable, start, inserted.toUtf8().constData(),
                                        gint(m_offsets.insertionLength(inserted)), &error);
        ok = !failed(error);
    }
    g_object_unref(editable);
    return ok;
}

bool AtspiTextElement::setSelectedRange(TextRange range)
{
    if (!m_text)
        return false;
    AtspiText* text = atspi_accessible_get_text_iface(m_accessible.get());
    if (!text)
        return false;
    const gint start = gint(m_offsets.fromUtf16(*m_text, range.location));
    GError* error = nullptr;
    gboolean ok = FALSE;
    if (range.length == 0) {
        ok = atspi_text_set_caret_offset(text, start, &error);
    } else {
        const gint end = gint(m_offsets.fromUtf16(*m_text, range.location + range.length));
        ok = atspi_text_set_selection(text, 0, start, end, &error);
    }
    g_object_unref(text);
    return !failed(error) && ok;
}
