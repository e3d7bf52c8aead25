#pragma once
// The version and the build of this copy of Tarv, as the build system wrote them.

#include <QString>

namespace BuildInfo {

// The project's version, e.g. "0.1.0".
QString version();
// The build: the TARV_BUILD setting, else the commit the sources were built at; empty when
// neither is known.
QString build();
// "0.1.0 (1a2b3c4d5e)"; a missing part reads as an em dash.
QString versionText(const QString& version, const QString& build);

}  // namespace BuildInfo
