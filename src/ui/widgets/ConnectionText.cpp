#include "ui/widgets/ConnectionText.h"

#include "platform/OneLineText.h"

QString connectionText(const ConnectionState& state)
{
    switch (state.kind) {
    case ConnectionState::Kind::connecting:
        return QStringLiteral("Connecting…");
    case ConnectionState::Kind::connected:
        return QStringLiteral("Connected · ") + (state.hello ? oneLineText(state.hello->fw) : QString());
    case ConnectionState::Kind::disconnected:
        break;
    }
    return QStringLiteral("Not Connected");
}
