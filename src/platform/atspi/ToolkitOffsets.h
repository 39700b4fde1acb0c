#pragma once

#include <QString>

// AT-SPI offsets are not counted alike by every toolkit: Qt counts UTF-16 units, GTK and the
// other ATK-based toolkits count code points (and take insertion lengths in UTF-8 bytes).
// These convert between a toolkit's units and the UTF-16 units the rest of the app uses.
class ToolkitOffsets
{
public:
    enum class Unit
    {
        Utf16,
        CodePoint
    };

    static ToolkitOffsets forToolkit(const QString& toolkitName);
    explicit ToolkitOffsets(Unit unit) : m_unit(unit) {}

    Unit unit() const { return m_unit; }

    // A toolkit offset into `text` as UTF-16 units. Offsets past the end stay past the end
    // (each extra unit counts one), so a caller can still tell they do not lie within.
    qsizetype toUtf16(const QString& text, qsizetype offset) const;
    // A UTF-16 offset into `text` as toolkit units.
    qsizetype fromUtf16(const QString& text, qsizetype offset) const;
    // The length argument the toolkit expects when `text` is inserted.
    qsizetype insertionLength(const QString& text) const;

private:
    Unit m_unit;
};
