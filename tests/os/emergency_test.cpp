// The emergency stops: run newest first, once, only while registered; and the exit that
// runs them, says why and ends with the given status.
#include "os/emergency.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

TEST(EmergencyStops, RunNewestFirstOnceAndOnlyWhileRegistered) {
    std::vector<std::string> ran;
    const auto first = os::AddEmergencyStop([&] { ran.push_back("first"); });
    const auto gone = os::AddEmergencyStop([&] { ran.push_back("gone"); });
    os::AddEmergencyStop([&] { ran.push_back("last"); });
    os::RemoveEmergencyStop(gone);
    os::RemoveEmergencyStop(gone + 1000); // unknown: ignored
    os::RunEmergencyStops();
    EXPECT_EQ(ran, (std::vector<std::string>{"last", "first"}));
    os::RunEmergencyStops();
    os::RemoveEmergencyStop(first); // already run: ignored
    EXPECT_EQ(ran.size(), 2u);
}

TEST(EmergencyStopsDeathTest, ExitRunsTheStopsThenSaysWhyAndEndsWithItsStatus) {
    EXPECT_EXIT(
        {
            os::AddEmergencyStop([] { std::fputs("streams stopped\n", stderr); });
            os::EmergencyExit("lost the connection to the X server", 3);
        },
        ::testing::ExitedWithCode(3),
        "^streams stopped\nmirelo: lost the connection to the X server\n$");
}
