// Speed of a write of the stored settings as the GUI thread sees it: one keystroke in a key's
// label field saves the whole profile library, with a real settings file in a temporary folder.

#include "BenchHub.h"

#include "macros/MacroProfile.h"
#include "macros/ProfileStore.h"
#include "platform/Settings.h"

#include <QTemporaryDir>

namespace {

void BM_ProfileLabelEdit(benchmark::State& state)
{
    ensureBenchApp();
    QTemporaryDir dir;
    Settings settings(dir.filePath(QStringLiteral("Tarv.conf")));
    ProfileStore store(settings);
    MacroProfile profile = store.activeProfile();
    const QString labels[] = {QStringLiteral("Mai"), QStringLiteral("Mail")};
    int n = 0;
    for (auto _ : state) {
        profile.buttons[0].label = labels[n++ % 2];
        store.updateKey(profile, QStringLiteral("Edit Label"));
    }
}
BENCHMARK(BM_ProfileLabelEdit)->Unit(benchmark::kMicrosecond);

} // namespace
