#include "macros/KeyTint.h"

QString keyTintRawValue(KeyTint tint)
{
    switch (tint) {
    case KeyTint::neutral: return QStringLiteral("neutral");
    case KeyTint::amber: return QStringLiteral("amber");
    case KeyTint::blue: return QStringLiteral("blue");
    case KeyTint::green: return QStringLiteral("green");
    case KeyTint::red: return QStringLiteral("red");
    }
    return {};
}

std::optional<KeyTint> keyTintFromRawValue(QStringView text)
{
    for (KeyTint tint : allKeyTints) {
        if (keyTintRawValue(tint) == text)
            return tint;
    }
    return std::nullopt;
}
