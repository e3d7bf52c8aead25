// Where the application finds the screen-file reference: beside an installed program, or in
// the source tree for the program in its build folder, and nowhere else.

#include "ui/screens/ScreenFilesReference.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ScreenFilesReferenceTest, InstalledBesideTheProgramOrInTheSourceTreeOfTheBuild)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
    // Not installed: an installed program never falls back to a source tree.
    EXPECT_EQ(ScreenFilesReference::find(prefix.filePath(QStringLiteral("bin"))), std::nullopt);

    // As `cmake --install` lays it out.
    const QString installed = prefix.filePath(QStringLiteral("share/doc/tarv/screen-files.md"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(installed).absolutePath()));
    QFile file(installed);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(ScreenFilesReference::find(prefix.filePath(QStringLiteral("bin"))), installed);

    EXPECT_EQ(ScreenFilesReference::find(QStringLiteral(TARV_BUILD_BIN_DIR)),
              QStringLiteral(TARV_SOURCE_DIR "/docs/screen-files.md"));
}
