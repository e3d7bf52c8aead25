#include "media/ScreensaverStyle.h"

const std::array<ScreensaverStyle, 6>& allScreensaverStyles()
{
    static constexpr std::array<ScreensaverStyle, 6> all{
        ScreensaverStyle::corner,  ScreensaverStyle::quietCorner, ScreensaverStyle::pill,
        ScreensaverStyle::minimal, ScreensaverStyle::photoOnly,   ScreensaverStyle::strip,
    };
    return all;
}

QString screensaverStyleName(ScreensaverStyle style)
{
    switch (style) {
    case ScreensaverStyle::corner:
        return QStringLiteral("corner");
    case ScreensaverStyle::quietCorner:
        return QStringLiteral("quietCorner");
    case ScreensaverStyle::pill:
        return QStringLiteral("pill");
    case ScreensaverStyle::minimal:
        return QStringLiteral("minimal");
    case ScreensaverStyle::photoOnly:
        return QStringLiteral("photoOnly");
    case ScreensaverStyle::strip:
        break;
    }
    return QStringLiteral("strip");
}

std::optional<ScreensaverStyle> screensaverStyleFromName(const QString& name)
{
    for (ScreensaverStyle s : allScreensaverStyles()) {
        if (name == screensaverStyleName(s))
            return s;
    }
    return std::nullopt;
}

QString screensaverCornerName(ScreensaverCorner corner)
{
    switch (corner) {
    case ScreensaverCorner::bottomLeft:
        return QStringLiteral("bottomLeft");
    case ScreensaverCorner::bottomRight:
        return QStringLiteral("bottomRight");
    case ScreensaverCorner::topLeft:
        return QStringLiteral("topLeft");
    case ScreensaverCorner::topRight:
        break;
    }
    return QStringLiteral("topRight");
}

std::optional<ScreensaverCorner> screensaverCornerFromName(const QString& name)
{
    for (ScreensaverCorner c : {ScreensaverCorner::bottomLeft, ScreensaverCorner::bottomRight,
                                ScreensaverCorner::topLeft, ScreensaverCorner::topRight}) {
        if (name == screensaverCornerName(c))
            return c;
    }
    return std::nullopt;
}

bool isTopCorner(ScreensaverCorner corner)
{
    return corner == ScreensaverCorner::topLeft || corner == ScreensaverCorner::topRight;
}

bool isRightCorner(ScreensaverCorner corner)
{
    return corner == ScreensaverCorner::bottomRight || corner == ScreensaverCorner::topRight;
}
