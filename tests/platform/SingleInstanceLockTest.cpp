// Two copies of the application must never share the device's serial port.

#include "platform/SingleInstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets an environment variable, or unsets it for an empty value, until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_saved(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_wasSet)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_saved;
    bool m_wasSet;
};

mode_t modeOf(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode;
}

}  // namespace

TEST(SingleInstanceLock, ASecondHolderIsRefusedUntilTheFirstLetsGo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tarv.lock"));
    auto first = std::make_unique<SingleInstanceLock>(path);
    ASSERT_TRUE(first->tryAcquire());
    EXPECT_TRUE(first->tryAcquire()) << "asking again keeps the lock";
    SingleInstanceLock second(path);
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_TRUE(second.isHeldElsewhere());
    first.reset();
    EXPECT_TRUE(second.tryAcquire());
}

// The temporary folder is shared by every user: the lock's folder there must be this user's
// own, whoever made it first.
TEST(SingleInstanceLock, WithoutARuntimeFolderTheLockLivesInAFolderOfItsOwn)
{
    QTemporaryDir tmp;
    const ScopedEnv tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    const ScopedEnv runtime("XDG_RUNTIME_DIR", {});
    const QString folder = tmp.filePath(QStringLiteral("tarv-") + QString::number(::geteuid()));

    EXPECT_EQ(SingleInstanceLock::defaultPath(), folder + QStringLiteral("/tarv.lock"));
    EXPECT_EQ(modeOf(folder), mode_t(S_IFDIR | 0700));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    {
        SingleInstanceLock lock;
        EXPECT_TRUE(lock.tryAcquire());
        EXPECT_EQ(modeOf(folder), mode_t(S_IFDIR | 0700)) << "a folder left open to others is closed";
    }

    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("elsewhere")));
    ASSERT_TRUE(QFile::link(tmp.filePath(QStringLiteral("elsewhere")), folder));
    EXPECT_TRUE(SingleInstanceLock::defaultPath().isEmpty()) << "a link in its place is not followed";
    SingleInstanceLock refused;
    EXPECT_FALSE(refused.tryAcquire());
    EXPECT_FALSE(refused.isHeldElsewhere());
}
