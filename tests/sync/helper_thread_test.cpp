// The helper thread and the split of work in two halves: every item once, halves of whole
// grains, the second half on the other thread, errors raised only once both halves ended.
#include "sync/helper_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace abonex {
namespace {

TEST(RunInHalves, EveryItemOnceInHalvesOfWholeGrainsOnTwoThreads) {
    HelperThread helper;
    for (const int count : {0, 1, 63, 64, 65, 100, 1000, 8192}) {
        SCOPED_TRACE("count " + std::to_string(count));
        std::vector<int> seen(static_cast<size_t>(count), 0);
        std::thread::id threads[2];
        int bounds[2][2] = {{-1, -1}, {-1, -1}};
        const bool split = runInHalves(&helper, count, 32, [&](int part, int begin, int end) {
            threads[part] = std::this_thread::get_id();
            bounds[part][0] = begin;
            bounds[part][1] = end;
            for (int i = begin; i < end; ++i) ++seen[static_cast<size_t>(i)];
        });
        EXPECT_EQ(split, count >= 64);
        EXPECT_EQ(seen, std::vector<int>(static_cast<size_t>(count), 1));
        EXPECT_EQ(threads[0], std::this_thread::get_id());
        EXPECT_EQ(bounds[0][0], 0);
        if (split) {
            EXPECT_NE(threads[1], std::this_thread::get_id());
            EXPECT_EQ(bounds[0][1] % 32, 0);
            EXPECT_EQ(bounds[1][0], bounds[0][1]);
            EXPECT_EQ(bounds[1][1], count);
            // Near halves: neither has more than a grain beyond half of the items.
            EXPECT_LE(bounds[0][1] - count / 2, 32);
        } else {
            EXPECT_EQ(bounds[0][1], count);
            EXPECT_EQ(bounds[1][0], -1);
        }
    }
}

TEST(RunInHalves, WithoutAHelperAllIsDoneOnTheCallingThread) {
    int calls = 0;
    EXPECT_FALSE(runInHalves(nullptr, 5000, 32, [&](int part, int begin, int end) {
        ++calls;
        EXPECT_EQ(part, 0);
        EXPECT_EQ(begin, 0);
        EXPECT_EQ(end, 5000);
    }));
    EXPECT_EQ(calls, 1);
}

TEST(RunInHalves, AnErrorIsRaisedOnceBothHalvesEndedTheFirstHalfsFirst) {
    HelperThread helper;
    std::atomic<bool> secondEnded{false};
    try {
        runInHalves(&helper, 128, 32, [&](int part, int, int) {
            if (part == 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                secondEnded = true;
                throw std::runtime_error("second");
            }
            throw std::runtime_error("first");
        });
        ADD_FAILURE() << "nothing raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "first");
        EXPECT_TRUE(secondEnded);  // the helper was done with the items first
    }
    // The helper serves the next split after an error.
    try {
        runInHalves(&helper, 128, 32, [&](int part, int, int) {
            if (part == 1) throw std::runtime_error("second only");
        });
        ADD_FAILURE() << "nothing raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "second only");
    }
    int sum = 0;
    std::atomic<int> parts{0};
    runInHalves(&helper, 128, 32, [&](int part, int begin, int end) {
        ++parts;
        if (part == 0) sum = end - begin;
    });
    EXPECT_EQ(parts, 2);
    EXPECT_EQ(sum, 64);
}

TEST(HalvesRunner, StartsItsThreadOnceThereAreTwoGrainsAndKeepsIt) {
    HalvesRunner runner;
    std::thread::id second;
    const auto work = [&](int part, int, int) {
        if (part == 1) second = std::this_thread::get_id();
    };
    EXPECT_FALSE(runner.run(63, 32, work));
    EXPECT_FALSE(runner.hasHelper());
    EXPECT_TRUE(runner.run(64, 32, work));
    ASSERT_TRUE(runner.hasHelper());
    const std::thread::id first = second;
    EXPECT_NE(first, std::this_thread::get_id());
    EXPECT_FALSE(runner.run(10, 32, work));  // too few to split, the thread stays
    EXPECT_TRUE(runner.hasHelper());
    EXPECT_TRUE(runner.run(1000, 32, work));
    EXPECT_EQ(second, first);
    runner.stop();
    EXPECT_FALSE(runner.hasHelper());
    EXPECT_TRUE(runner.run(64, 32, work));  // a new thread after a stop
}

}  // namespace
}  // namespace abonex
