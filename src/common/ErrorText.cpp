#include "common/ErrorText.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace ErrorText {

QString forDisplay(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}\\v\\f]"));
    const QStringList lines = text.split(lineBreak);
    QString first;
    qsizetype index = 0;
    for (; index < lines.size(); ++index) {
        first = lines[index].trimmed();
        if (!first.isEmpty())
            break;
    }
    bool cut = false;
    for (qsizetype rest = index + 1; rest < lines.size() && !cut; ++rest)
        cut = !lines[rest].trimmed().isEmpty();

    // Cut between user-perceived characters, never inside one.
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, first);
    qsizetype count = 0;
    qsizetype keepEnd = 0; // end of the first 199 characters
    for (qsizetype end = characters.toNextBoundary(); end > 0; end = characters.toNextBoundary()) {
        ++count;
        if (count == MaximumDisplayedCharacters - 1)
            keepEnd = end;
        if (count > MaximumDisplayedCharacters) {
            cut = true;
            break;
        }
    }
    if (!cut)
        return first;
    if (count <= MaximumDisplayedCharacters - 1)
        keepEnd = first.size();
    return first.left(keepEnd).trimmed() + QChar(0x2026);
}

} // namespace ErrorText
