// What keeps secrets out of core files and dropped buffers.
#include "platform/core/SecretHygiene.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>

TEST(SecretHygiene, CoreDumpsAreTurnedOff)
{
    ASSERT_TRUE(platform::disableCoreDumps());
    EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_CORE, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, 0u);
    EXPECT_EQ(limit.rlim_max, 0u);
}

TEST(SecretHygiene, AWipedTextIsEmptyAndASharedCopyKeepsItsOwn)
{
    QString secret = QStringLiteral("hunter2-").repeated(3);
    const QString shared = secret; // another holder: its characters must survive
    platform::wipe(secret);
    EXPECT_TRUE(secret.isEmpty());
    EXPECT_EQ(shared, QStringLiteral("hunter2-").repeated(3));

    QByteArray bytes("key material");
    bytes.detach();
    platform::wipe(bytes);
    EXPECT_TRUE(bytes.isEmpty());
}
