#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// The one error type: a user-readable message. Platform failures are carried as their own
// localised description, so every error reaches the user as text.
struct QuorError
{
    QString message;

    QString localizedDescription() const { return message; }
    friend bool operator==(const QuorError&, const QuorError&) = default;
};

// A value or the error that prevented it.
template <typename T>
class Result
{
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(QuorError error) : m_data(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_data); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<T>(m_data); }
    T&& value() && { return std::get<T>(std::move(m_data)); }
    const QuorError& error() const { return std::get<QuorError>(m_data); }

private:
    std::variant<T, QuorError> m_data;
};

// An operation that returns nothing but may fail: empty means success.
using Failure = std::optional<QuorError>;
