#include "ui/settings/BuildInfo.h"

QString BuildInfo::versionText(const QString& version, const QString& build)
{
    const QString dash = QStringLiteral("\u2014");
    return (version.isEmpty() ? dash : version) + QStringLiteral(" (") + (build.isEmpty() ? dash : build) + u')';
}
