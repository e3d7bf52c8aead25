#pragma once
// The manual pages of tarv and tarv-app and the completion of tarv: tarv's from its command
// table and the help texts in it, tarv-app's from what `tarv-app --help` prints.

#include "Completion.h"
#include "ManPage.h"

namespace ToolDocs {

ManPage toolManPage(const QString& version, const QString& date);
ManPage appManPage(const QString& helpText, const QString& version, const QString& date);
Completion toolCompletion();

}  // namespace ToolDocs
