#include "app/StartOptions.h"

namespace StartOptions {

namespace {

// The value of the last "-platform NAME" or "-display NAME", as the GUI application reads it
// (Qt takes either spelling of its options).
QString optionValue(const QStringList& arguments, const QString& name)
{
    QString value;
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == u'-' + name || arguments[i] == QStringLiteral("--") + name)
            value = arguments[++i];
    }
    return value;
}

}  // namespace

QStringList tarvArguments(const QStringList& arguments, const QStringList& tarvOptionNames)
{
    QStringList kept;
    bool options = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--"))
            options = false;
        const bool toolkits = options && i > 0 && argument.size() > 1 && argument.startsWith(u'-')
            && !argument.startsWith(QLatin1String("--"))
            && !tarvOptionNames.contains(argument.mid(1).section(u'=', 0, 0));
        if (!toolkits)
            kept.append(argument);
    }
    return kept;
}

bool canShowWindows(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QString platforms = optionValue(arguments, QStringLiteral("platform"));
    if (platforms.isEmpty())
        platforms = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    const bool x11 = !environment.value(QStringLiteral("DISPLAY")).isEmpty()
        || !optionValue(arguments, QStringLiteral("display")).isEmpty();
    const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    if (platforms.isEmpty())
        return x11 || wayland;
    for (const QString& platform : platforms.split(u';', Qt::SkipEmptyParts)) {
        // Options of a platform follow its name after a colon ("xcb:nograb").
        const QString name = platform.section(u':', 0, 0).trimmed();
        if (name == QLatin1String("xcb") ? x11 : name.startsWith(QLatin1String("wayland")) ? wayland : true)
            return true;
    }
    return false;
}

}  // namespace StartOptions
