#pragma once

#include <QKeyCombination>
#include <QString>
#include <optional>

// The keysym name of a key as xkbcommon spells it ("d", "space", "F9", "KP_5",
// "XF86AudioPlay"): what the shortcut portal's triggers and the compositors' configuration
// files name keys by. Modifiers are not part of it; the keypad modifier picks the keypad key.
namespace KeySymNames {

std::optional<QString> name(QKeyCombination key);

} // namespace KeySymNames
