#pragma once
// Why a JSON value could not be read as part of the macro model, and where; plus the small
// result type the readers return.

#include <QString>
#include <QStringList>

#include <utility>
#include <variant>

struct MacroJsonError {
    enum class Kind {
        typeMismatch,  // a value of the wrong JSON type
        keyNotFound,   // a required key is absent
        valueNotFound, // a required key holds null
        dataCorrupted, // the right type with a value that is not allowed
    };

    Kind kind = Kind::dataCorrupted;
    // Keys (and list indices) from the outermost value to the failing one; for a missing key
    // the last element is the key that was looked for.
    QStringList codingPath;
    QString description;

    // The last element of the coding path, empty at the top level.
    QString lastKey() const { return codingPath.isEmpty() ? QString() : codingPath.last(); }
    // The description with the dotted path in front, e.g. "buttons.3.action.kind: ...".
    QString text() const;

    friend bool operator==(const MacroJsonError&, const MacroJsonError&) = default;
};

// A decoded value or the first error met.
template <class T> class MacroJsonResult {
public:
    MacroJsonResult(T value) : m_state(std::move(value)) {}
    MacroJsonResult(MacroJsonError error) : m_state(std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const MacroJsonError& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, MacroJsonError> m_state;
};
