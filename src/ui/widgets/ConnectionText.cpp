#include "ui/widgets/ConnectionText.h"

QString connectionText(const ConnectionState& state)
{
    switch (state.kind) {
    case ConnectionState::Kind::connecting:
        return QStringLiteral("Connecting…");
    case ConnectionState::Kind::connected:
        return QStringLiteral("Connected · ") + (state.hello ? state.hello->fw : QString());
    case ConnectionState::Kind::disconnected:
        break;
    }
    return QStringLiteral("Not Connected");
}
