// Locks that several processes of an installation take on one file.
#include "foundation/processlock.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

using namespace kelvaro;
using Mode = ProcessLock::Mode;

TEST(ProcessLock, SharedHoldersCoexistAndExcludeTheExclusiveOne)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("rb6.lock");
    ProcessLock first(file), second(file), writer(file);
    ASSERT_TRUE(first.tryLock(Mode::Shared));
    ASSERT_TRUE(second.tryLock(Mode::Shared));
    EXPECT_TRUE(ProcessLock::isHeld(file));
    EXPECT_FALSE(ProcessLock::isHeldExclusively(file));
    EXPECT_FALSE(writer.tryLock(Mode::Exclusive));
    EXPECT_TRUE(writer.heldElsewhere());

    first.unlock();
    second.unlock();
    ASSERT_TRUE(writer.tryLock(Mode::Exclusive));
    EXPECT_TRUE(ProcessLock::isHeldExclusively(file));
    EXPECT_FALSE(first.tryLock(Mode::Shared));
    writer.unlock();
    EXPECT_FALSE(ProcessLock::isHeld(file));
}

TEST(ProcessLock, WaitEndsAtItsTimeOutOrWhenCancelledAndTakesAFreedLock)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("port.lock");
    ProcessLock holder(file), waiter(file);
    ASSERT_TRUE(holder.tryLock(Mode::Exclusive));

    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(waiter.lock(Mode::Shared, 200));
    EXPECT_GE(waited.elapsed(), 200);
    int asked = 0;
    EXPECT_FALSE(waiter.lock(Mode::Shared, -1, [&] { return ++asked == 3; }));

    QTimer::singleShot(150, [&] { holder.unlock(); });
    EXPECT_TRUE(waiter.lock(Mode::Shared, 5000)) << "the event loop runs while waiting";
    EXPECT_TRUE(waiter.isLocked());
}

TEST(ProcessLock, UnopenableFileFailsAtOnceWithItsReason)
{
    ProcessLock lock("/nonexistent-directory/x.lock");
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(lock.lock(Mode::Exclusive, 5000));
    EXPECT_LT(waited.elapsed(), 1000);
    EXPECT_FALSE(lock.heldElsewhere());
    EXPECT_TRUE(lock.errorText().contains("/nonexistent-directory/x.lock"));
}

// util-linux flock(1) takes the same kind of lock from another process.
TEST(ProcessLock, AKilledHolderLeavesNoLockBehind)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("kelvaro-M1320-C1.lock");
    QProcess other;
    other.start("flock", {"-o", "-x", file, "sleep", "30"}); // -o: only flock itself holds it
    ASSERT_TRUE(other.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ProcessLock::isHeldExclusively(file); }, 5000));
    ProcessLock mine(file);
    EXPECT_FALSE(mine.tryLock(Mode::Shared));

    other.kill();
    other.waitForFinished(5000);
    // flock(1) forks before its child closes the inherited descriptor: a kill
    // in that moment leaves the child holding the lock until it gets there.
    EXPECT_TRUE(QTest::qWaitFor([&] { return mine.tryLock(Mode::Exclusive); }, 5000));
}

TEST(ProcessLock, LockFileNames)
{
    EXPECT_TRUE(RB6DirectoryLockFile(".\\Z1320\\").endsWith("Z1320/rb6.lock"));
    EXPECT_TRUE(MasterPortLockFile(".\\DB1320\\", "1320", 3).endsWith("DB1320/kelvaro-M1320-C3.lock"));
}
