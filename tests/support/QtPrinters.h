#pragma once

#include <QString>
#include <ostream>

// GoogleTest prints QString as text instead of raw bytes. Found by argument-dependent lookup,
// so it lives beside QString in the global namespace.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
