#include "platform/atspi/ToolkitOffsets.h"

ToolkitOffsets ToolkitOffsets::forToolkit(const QString& toolkitName)
{
    return ToolkitOffsets(toolkitName.compare(QLatin1String("Qt"), Qt::CaseInsensitive) == 0
                              ? Unit::Utf16
                              : Unit::CodePoint);
}

qsizetype ToolkitOffsets::toUtf16(const QString& text, qsizetype offset) const
{
    if (m_unit == Unit::Utf16 || offset <= 0)
        return offset;
    qsizetype units = 0;
    qsizetype points = 0;
    while (points < offset && units < text.size()) {
        const bool pair = text.at(units).isHighSurrogate() && units + 1 < text.size() &&
                          text.at(units + 1).isLowSurrogate();
        units += pair ? 2 : 1;
        ++points;
    }
    return units + (offset - points);
}

qsizetype ToolkitOffsets::fromUtf16(const QString& text, qsizetype offset) const
{
    if (m_unit == Unit::Utf16 || offset <= 0)
        return offset;
    qsizetype points = 0;
    qsizetype units = 0;
    while (units < offset && units < text.size()) {
        const bool pair = text.at(units).isHighSurrogate() && units + 1 < text.size() &&
                          text.at(units + 1).isLowSurrogate();
        units += pair ? 2 : 1;
        ++points;
    }
    return points + qMax<qsizetype>(0, offset - units);
}

qsizetype ToolkitOffsets::insertionLength(const QString& text) const
{
    return m_unit == Unit::Utf16 ? text.size() : text.toUtf8().size();
}
