#include "pages/CalculatorState.h"

#include <QByteArray>

#include <string_view>

namespace {

constexpr int maxFractionDigits = 8;
// Typing stops at 12 characters. The display only ever holds ASCII (digits, "-", "." and
// "Error"), so its length in UTF-16 units is its length in characters.
constexpr qsizetype maxTypedLength = 12;

const QString zero = QStringLiteral("0");

}  // namespace

QString CalculatorState::symbol(Operation op)
{
    switch (op) {
    case Operation::add:
        return QStringLiteral("+");
    case Operation::subtract:
        return QStringLiteral("-");
    case Operation::multiply:
        return QStringLiteral("x");
    case Operation::divide:
        return QStringLiteral("/");
    }
    return {};
}

std::optional<CalculatorState::Operation> CalculatorState::operationFromSymbol(QStringView symbol)
{
    for (const Operation op : {Operation::add, Operation::subtract, Operation::multiply, Operation::divide}) {
        if (symbol == CalculatorState::symbol(op))
            return op;
    }
    return std::nullopt;
}

std::optional<Decimal> CalculatorState::parseNumber(QStringView text)
{
    const QByteArray latin1 = text.toLatin1();
    if (latin1.size() != text.size())
        return std::nullopt;
    return Decimal::parse(std::string_view(latin1.constData(), std::size_t(latin1.size())));
}

QString CalculatorState::formatNumber(const Decimal& value)
{
    const std::optional<std::string> text = value.formatted(maxFractionDigits);
    if (!text)
        return QStringLiteral("Error");
    return QString::fromLatin1(text->data(), qsizetype(text->size()));
}

void CalculatorState::pressKey(QStringView key)
{
    if (hasError && key != u"AC")
        *this = CalculatorState{};

    if (key.size() == 1 && key[0] >= u'0' && key[0] <= u'9')
        pressDigit(key[0]);
    else if (key == u".")
        pressPoint();
    else if (key == u"AC")
        *this = CalculatorState{};
    else if (key == u"DEL")
        pressDelete();
    else if (key == u"%")
        pressPercent();
    else if (key == u"+/-")
        pressSignChange();
    else if (key == u"=")
        pressEquals();
    else if (const std::optional<Operation> op = operationFromSymbol(key))
        pressOperation(*op);
}

// A result the formatter could not write leaves "Error" in the display without the error
// state. Editing that text would give "Erro5" or "-Error", so the keys that edit the typed
// number start from a cleared display instead.
void CalculatorState::clearDisplayWithoutNumber()
{
    if (parseNumber(display))
        return;
    display = zero;
    startsNewNumber = true;
}

void CalculatorState::pressDigit(QChar digit)
{
    clearDisplayWithoutNumber();
    if (!startsNewNumber && display != zero) {
        if (display.size() < maxTypedLength)
            display.append(digit);
    } else {
        display = QString(digit);
        startsNewNumber = false;
    }
}

void CalculatorState::pressPoint()
{
    clearDisplayWithoutNumber();
    if (startsNewNumber) {
        display = QStringLiteral("0.");
        startsNewNumber = false;
    } else if (!display.contains(u'.') && display.size() < maxTypedLength) {
        display.append(u'.');
    }
}

void CalculatorState::pressDelete()
{
    clearDisplayWithoutNumber();
    // A result waiting for the second operand is not the number being typed.
    if (startsNewNumber && pendingOperation)
        return;
    startsNewNumber = false;
    display.chop(1);
    if (display.isEmpty() || display == u"-")
        display = zero;
}

void CalculatorState::pressPercent()
{
    const std::optional<Decimal> value = parseNumber(display);
    if (!value)
        return;
    display = formatNumber(*value / Decimal::fromInteger(100));
    startsNewNumber = true;
}

void CalculatorState::pressSignChange()
{
    clearDisplayWithoutNumber();
    if (display == zero)
        return;
    if (display.startsWith(u'-'))
        display.remove(0, 1);
    else
        display.prepend(u'-');
}

void CalculatorState::pressOperation(Operation op)
{
    const std::optional<Decimal> value = parseNumber(display);
    if (!value)
        return;
    if (pendingOperation && accumulator && !startsNewNumber) {
        const std::optional<Decimal> result = apply(*accumulator, *pendingOperation, *value);
        if (!result)
            return;
        accumulator = result;
        display = formatNumber(*result);
    } else {
        accumulator = value;
    }
    expression = display + u' ' + symbol(op);
    pendingOperation = op;
    startsNewNumber = true;
}

void CalculatorState::pressEquals()
{
    if (!pendingOperation || !accumulator)
        return;
    const std::optional<Decimal> value = parseNumber(display);
    if (!value)
        return;
    expression = formatNumber(*accumulator) + u' ' + symbol(*pendingOperation) + u' ' + display
        + QStringLiteral(" =");
    const std::optional<Decimal> result = apply(*accumulator, *pendingOperation, *value);
    if (!result)
        return;
    display = formatNumber(*result);
    accumulator = result;
    pendingOperation.reset();
    startsNewNumber = true;
}

// Nothing when the operation failed, which leaves the error state behind.
std::optional<Decimal> CalculatorState::apply(const Decimal& a, Operation op, const Decimal& b)
{
    switch (op) {
    case Operation::add:
        return a + b;
    case Operation::subtract:
        return a - b;
    case Operation::multiply:
        return a * b;
    case Operation::divide:
        break;
    }
    if (b.isZero()) {
        *this = CalculatorState{};
        display = QStringLiteral("Error");
        expression = QStringLiteral("Cannot divide by 0");
        hasError = true;
        return std::nullopt;
    }
    return a / b;
}
