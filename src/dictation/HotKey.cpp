#include "dictation/HotKey.h"

#include <QKeySequence>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr Qt::KeyboardModifiers allowedModifiers = Qt::ControlModifier | Qt::AltModifier |
                                                   Qt::ShiftModifier | Qt::MetaModifier |
                                                   Qt::KeypadModifier;

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

// Keys every program needs: the ones that type a character, edit text or move the caret.
bool isEverydayKey(int key)
{
    if (key >= Qt::Key_Space && key < Qt::Key_Escape)
        return true;
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

// The name of the key alone, as Qt writes it ("D", "Space", "F9", "Media Play").
QString keyName(Qt::Key key)
{
    return QKeySequence(QKeyCombination(key)).toString(QKeySequence::PortableText);
}

struct ModifierName
{
    Qt::KeyboardModifier modifier;
    const char* name;
};
// The order the user reads them in.
constexpr ModifierName modifierNames[] = {{Qt::ControlModifier, "Ctrl"},
                                          {Qt::AltModifier, "Alt"},
                                          {Qt::ShiftModifier, "Shift"},
                                          {Qt::MetaModifier, "Super"}};

} // namespace

HotKey HotKey::standard()
{
    return HotKey(QKeyCombination(Qt::MetaModifier, Qt::Key_D));
}

Result<HotKey> HotKey::fromCombination(QKeyCombination combination)
{
    const int key = combination.key();
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    if (key == 0 || key == Qt::Key_unknown)
        return QuorError{QStringLiteral("not a key")};
    if (isModifierKey(key))
        return QuorError{QStringLiteral("a modifier alone cannot be the hot key; add a key to it")};
    if (modifiers & ~allowedModifiers)
        return QuorError{QStringLiteral("unsupported modifier")};
    // Keys that type, edit or move: grabbed alone (or with Shift) they would be taken from
    // every other program.
    const bool keypad = modifiers & Qt::KeypadModifier;
    if (!keypad && isEverydayKey(key) &&
        !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return QuorError{QStringLiteral("%1 alone would be taken from every other program; add "
                                        "Ctrl, Alt or Super")
                             .arg(HotKey(combination).displayText())};
    return HotKey(combination);
}

Result<HotKey> HotKey::parse(const QString& text)
{
    QString normal = text.trimmed();
    if (normal.isEmpty())
        return QuorError{QStringLiteral("empty")};
    // "Ctrl + Alt + Space" reads as "Ctrl+Alt+Space"; a lone "+" stays the plus key.
    static const QRegularExpression blanksAroundPlus(QStringLiteral("\\s*\\+\\s*"));
    normal.replace(blanksAroundPlus, QStringLiteral("+"));
    // Qt calls the logo key Meta.
    static const QRegularExpression logo(QStringLiteral("(^|\\+)(super|win|windows)(?=\\+|$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    normal.replace(logo, QStringLiteral("\\1Meta"));
    const QKeySequence sequence = QKeySequence::fromString(normal, QKeySequence::PortableText);
    if (sequence.count() != 1)
        return QuorError{QStringLiteral("\"%1\" is not one key").arg(text)};
    const QKeyCombination combination = sequence[0];
    if (combination.key() == Qt::Key_unknown) {
        // Qt reads "Ctrl+Alt" as the Alt key but "Ctrl" alone as nothing.
        static const QRegularExpression modifierName(
            QStringLiteral("^(ctrl|control|alt|shift|meta)$"),
            QRegularExpression::CaseInsensitiveOption);
        if (modifierName.match(normal).hasMatch())
            return fromCombination(QKeyCombination(Qt::Key_Control));
        return QuorError{QStringLiteral("\"%1\" is not a key Wendlo knows").arg(text)};
    }
    return fromCombination(combination);
}

QString HotKey::portableText() const
{
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = m_combination.keyboardModifiers();
    for (const ModifierName& m : modifierNames) {
        if (modifiers & m.modifier)
            parts << QString::fromLatin1(m.name);
    }
    if (modifiers & Qt::KeypadModifier)
        parts << QStringLiteral("Num");
    parts << keyName(m_combination.key());
    return parts.join(QLatin1Char('+'));
}

QString HotKey::displayText() const
{
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = m_combination.keyboardModifiers();
    for (const ModifierName& m : modifierNames) {
        if (modifiers & m.modifier)
            parts << QString::fromLatin1(m.name);
    }
    const QString key = keyName(m_combination.key());
    parts << ((modifiers & Qt::KeypadModifier) ? QStringLiteral("Keypad ") + key : key);
    return parts.join(QStringLiteral(" + "));
}
