#include "cli/switches.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {
using TList = std::vector<std::string>;
}

TEST(CombinedSwitches, Splitting) {
    const std::vector<std::pair<std::string, TList>> rows = {
        {"-ixg", {"-i", "-x", "-g"}},
        {"-IXG", {"-I", "-X", "-G"}},
        {"-r+v-", {"-r+", "-v-"}},
        {"-w+", {"-w+"}},
        {"-w", {"-w"}},
        {"-r1", {"-r", "-1"}},
        {"-rsw", {"-r", "-sw"}},
        {"-snw", {"-snw"}},
        {"-d15", {"-d15"}},
        {"-zs3", {"-zs3"}},
        {"-f2r", {"-f2r"}},
        {"-wc+a", {"-w", "-c+", "-a"}},
        {"-i-x", {"-i-", "-x"}},
        {"a-wc", {"a-wc"}},
        {"", {""}},
    };
    for (const auto &[token, split] : rows) {
        SCOPED_TRACE(token);
        EXPECT_EQ(SplitCombinedSwitches({token}), split);
    }
    EXPECT_EQ(SplitCombinedSwitches({"-wc", "x", "-rv"}), (TList{"-w", "-c", "x", "-r", "-v"}));
    if (SlashStartsSwitch)
        EXPECT_EQ(SplitCombinedSwitches({"/wc"}), (TList{"-w", "-c"}));
    else
        EXPECT_EQ(SplitCombinedSwitches({"/wc"}), (TList{"/wc"}));
}
