// The memory budget of a run: a later job waits for the earlier ones when it would exceed
// the budget; the earliest never waits.

#include "platform/MemoryBudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kapto;

TEST(MemoryBudget, LaterJobWaitsForEarlierOnesAndEarliestNeverWaits)
{
    TMemoryBudget budget(100);
    budget.Begin(0);
    budget.Begin(1);
    budget.Charge(0, 60);
    std::atomic<bool> charged{false};
    std::thread second([&] {
        budget.Charge(1, 60);
        charged = true;
    });
    while (budget.Waits() == 0) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(charged);
    // The earliest job goes ahead past the limit: a picture larger than the budget converts.
    budget.Charge(0, 500);
    budget.End(0);
    second.join();
    EXPECT_TRUE(charged);
    EXPECT_EQ(budget.Waits(), 1u);
    budget.End(1);

    // Pixel buffers are charged to the job of the thread's scope.
    {
        TBudgetScope scope(budget, 7);
        ChargePixelMemory(100);
    }
    budget.Begin(8);
    budget.Charge(8, 100); // fits again: job 7 gave its bytes back
    EXPECT_EQ(budget.Waits(), 1u);
    budget.End(8);
}
