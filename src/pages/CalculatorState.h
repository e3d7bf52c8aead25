#pragma once
// The calculator page's whole state, kept on the desktop: the device sends the label of each
// tapped key, and the page shows `display` and `expression`.

#include "pages/Decimal.h"

#include <QString>
#include <QStringView>

#include <optional>

struct CalculatorState {
    enum class Operation { add, subtract, multiply, divide };

    // The symbols "+", "-", "x" and "/" as shown in the expression, and back.
    static QString symbol(Operation op);
    static std::optional<Operation> operationFromSymbol(QStringView symbol);

    // Plain decimal text with a point; nothing for text that is no number (such as "Error").
    static std::optional<Decimal> parseNumber(QStringView text);
    // No grouping, 0 to 8 fraction digits rounded half to even; "Error" for no number.
    static QString formatNumber(const Decimal& value);

    QString display = QStringLiteral("0");
    QString expression;
    std::optional<Decimal> accumulator;
    std::optional<Operation> pendingOperation;
    bool startsNewNumber = true;
    bool hasError = false;

    // Applies one key: "0" … "9", ".", "AC", "DEL", "%", "+/-", "+", "-", "x", "/", "=".
    // Any other text changes nothing, apart from clearing an error.
    void pressKey(QStringView key);

    friend bool operator==(const CalculatorState&, const CalculatorState&) = default;

private:
    void pressDigit(QChar digit);
    void pressPoint();
    void pressDelete();
    void pressPercent();
    void pressSignChange();
    void pressOperation(Operation op);
    void pressEquals();
    void clearDisplayWithoutNumber();
    std::optional<Decimal> apply(const Decimal& a, Operation op, const Decimal& b);
};
