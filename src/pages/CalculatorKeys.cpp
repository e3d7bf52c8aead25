#include "pages/CalculatorKeys.h"

#include "pages/PageNodes.h"
#include "platform/Graphemes.h"

#include <QHash>

#include <cmath>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

using WidthTable = QHash<QString, double>;

const WidthTable& functionKeyWidths()
{
    static const WidthTable table{
        {QStringLiteral("A"), 13.19}, {QStringLiteral("C"), 13.0},  {QStringLiteral("D"), 14.88},
        {QStringLiteral("E"), 12.06}, {QStringLiteral("L"), 10.69}, {QStringLiteral("%"), 15.19},
        {QStringLiteral("+"), 10.5},  {QStringLiteral("-"), 6.88},  {QStringLiteral("/"), 6.31},
    };
    return table;
}

const WidthTable& digitKeyWidths()
{
    static const WidthTable table{
        {QStringLiteral("0"), 16.0},  {QStringLiteral("1"), 8.88},  {QStringLiteral("2"), 13.75},
        {QStringLiteral("3"), 13.75}, {QStringLiteral("4"), 16.06}, {QStringLiteral("5"), 13.75},
        {QStringLiteral("6"), 14.81}, {QStringLiteral("7"), 14.38}, {QStringLiteral("8"), 15.44},
        {QStringLiteral("9"), 14.81}, {QStringLiteral("."), 5.44},  {QStringLiteral("x"), 13.25},
        {QStringLiteral("/"), 8.44},  {QStringLiteral("-"), 9.19},  {QStringLiteral("+"), 13.94},
        {QStringLiteral("="), 13.94},
    };
    return table;
}

struct KeyLook {
    std::uint32_t face;
    std::uint32_t border;
    int borderWidth;
    std::uint32_t text;
};

KeyLook keyLook(int column, const QString& label)
{
    if (label == QLatin1String("="))
        return {Palette::accent, Palette::accent, 1, Palette::background};
    if (column == 0)
        return {Palette::functionFace, Palette::line, 1, Palette::secondaryText};
    if (column == 4)
        return {Palette::amberFace, Palette::accent, 2, Palette::accent};
    return {Palette::face, Palette::line, 1, Palette::primaryText};
}

}  // namespace

const QList<QString>& calculatorKeyLabels()
{
    static const QList<QString> labels{
        QStringLiteral("AC"),  QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("/"),
        QStringLiteral("DEL"), QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("x"),
        QStringLiteral("%"),   QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("-"),
        QStringLiteral("+/-"), QStringLiteral("0"), QStringLiteral("."), QStringLiteral("="), QStringLiteral("+"),
    };
    return labels;
}

int calculatorLabelWidth(QStringView text, int size)
{
    const WidthTable& table = size == 18 ? functionKeyWidths() : digitKeyWidths();
    double sum = 0;
    for (const QString& character : graphemes(text))
        sum += table.value(character, size * 0.6);
    // The tables are given to two decimals; the tolerance keeps a sum that should be whole
    // from rounding up past it.
    return int(std::ceil(sum - 1e-9));
}

QList<PatchOp> calculatorKeyOps()
{
    const QList<QString>& labels = calculatorKeyLabels();
    QList<PatchOp> ops;
    ops.reserve(5 * labels.size());
    for (int k = 0; k < labels.size(); ++k) {
        using G = CalculatorGrid;
        const int column = k % G::columns;
        const int row = k / G::columns;
        const QString& label = labels[k];
        const KeyLook look = keyLook(column, label);
        const std::uint32_t button = 500 + k;
        appendNode(ops, button, "btn", pageNode, k + 3,
                   boxProps(G::originX + G::columnPitch * column, G::originY + G::rowPitch * row, G::keyWidth,
                            G::keyHeight, look.face, look.border, look.borderWidth, 8));
        const bool functionKey = column == 0;
        const int size = functionKey ? 18 : 24;
        const int w = calculatorLabelWidth(label, size);
        appendLabel(ops, 600 + k, button, 0, (G::keyWidth - w) / 2, functionKey ? 8 : 5, w, functionKey ? 21 : 27, look.text,
                    size, label);
    }
    return ops;
}

}  // namespace DynamicUIDemo

