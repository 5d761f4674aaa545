#include "arguments.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bleepforge::tool {
namespace {

ParseOutcome parse(std::vector<const char*> words, std::initializer_list<Option> allowed) {
    return parse_arguments(words, allowed);
}

TEST(Arguments, TakeOperandsValuesAndSwitchesAsASet) {
    const ParseOutcome p = parse({"a.bleep", "--rate=8000", "-o", "x.wav", "--loop", "-", "b.bleep"},
                                 {Option::output, Option::rate, Option::loop});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.arguments.operands, (std::vector<std::string>{"a.bleep", "-", "b.bleep"}));
    EXPECT_EQ(p.arguments[Option::rate], "8000");
    EXPECT_EQ(p.arguments[Option::output], "x.wav");
    EXPECT_TRUE(p.arguments.has(Option::loop));
    EXPECT_FALSE(p.arguments.has(Option::play));
    // --output and -o are one option; "--" ends the options, so a name starting with "-" is an operand.
    EXPECT_EQ(parse({"--output", "y", "--", "--rate", "-z"}, {Option::output}).arguments.operands,
              (std::vector<std::string>{"--rate", "-z"}));
    EXPECT_EQ(parse({"--output=", "y"}, {Option::output}).arguments[Option::output], "");
}

TEST(Arguments, RefuseWhatTheCommandDoesNotTake) {
    const struct {
        std::vector<const char*> words;
        const char* error;
    } cases[] = {
        {{"--seed", "3"}, "unknown option --seed"},
        {{"--sedd=3"}, "unknown option --sedd"},
        {{"-o"}, "option -o needs a value"},
        {{"-o", "x", "--output=y"}, "option -o is given twice"},
        {{"--loop", "--loop"}, "option --loop is given twice"},
        {{"--loop=yes"}, "option --loop takes no value"},
        {{"--play"}, "unknown option --play"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse(c.words, {Option::output, Option::loop}).error, c.error) << c.error;
    }
    EXPECT_EQ(spelling_of(Option::output), "-o");
    EXPECT_EQ(spelling_of(Option::out_dir), "--out-dir");
}

}  // namespace
}  // namespace bleepforge::tool
