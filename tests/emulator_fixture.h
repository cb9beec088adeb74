// The base of every fixture: an emptied emulator before each test, and a last check that the test
// left no emulator object or string alive.
#pragma once

#include <gtest/gtest.h>

#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/worker_pool.h"

namespace velmora::test {

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        emu::Reset();
        ASSERT_EQ(emu::LiveObjects(), 0) << "a previous test leaked emulator objects";
        ASSERT_EQ(emu::LiveStrings(), 0) << "a previous test leaked emulator strings";
    }
    void TearDown() override {
        emu::Reset();
        emu::WaitIdle();
        EXPECT_EQ(emu::LiveObjects(), 0) << "emulator objects leaked";
        EXPECT_EQ(emu::LiveStrings(), 0) << "emulator strings leaked";
    }
};

}  // namespace velmora::test
