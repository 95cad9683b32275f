// One program per settings file: the second start is refused and asks the first to
// come forward; another settings file is another program.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "ui/SingleInstance.h"

using namespace qm;

TEST(AppSingleInstanceTest, TheSecondOfOneIniFileAsksTheFirstToComeForward) {
    const std::string ini = "/tmp/quarmelle-single-instance-test-" + std::to_string(::getpid()) + ".ini";
    TSingleInstance first(ini);
    ASSERT_TRUE(first.Acquire());
    QSignalSpy activated(&first, &TSingleInstance::ActivateRequested);
    {
        TSingleInstance second(ini);
        EXPECT_FALSE(second.Acquire());
    }
    EXPECT_TRUE(activated.count() > 0 || activated.wait(2000));

    TSingleInstance other(ini + ".other");
    EXPECT_NE(other.Key(), first.Key());
    EXPECT_TRUE(other.Acquire());
}

TEST(AppSingleInstanceTest, TheLockIsFreeAgainOnceTheFirstHasEnded) {
    const std::string ini = "/tmp/quarmelle-single-instance-again-" + std::to_string(::getpid()) + ".ini";
    {
        TSingleInstance first(ini);
        ASSERT_TRUE(first.Acquire());
    }
    TSingleInstance next(ini);
    EXPECT_TRUE(next.Acquire());
}
