#include "arguments.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "result.hpp"

namespace bleepforge::tool {
namespace {

Result<Arguments> parse(std::vector<const char*> words, std::initializer_list<Option> allowed) {
    return parse_arguments(words, allowed);
}

std::string error_of(const Result<Arguments>& parsed) {
    return parsed ? std::string() : parsed.error();
}

TEST(Arguments, TakeOperandsValuesAndSwitchesAsASet) {
    const Result<Arguments> p = parse({"a.bleep", "--rate=8000", "-o", "x.wav", "--loop", "-", "b.bleep"},
                                      {Option::output, Option::rate, Option::loop});
    ASSERT_EQ(error_of(p), "");
    EXPECT_EQ(p->operands, (std::vector<std::string>{"a.bleep", "-", "b.bleep"}));
    EXPECT_EQ((*p)[Option::rate], "8000");
    EXPECT_EQ((*p)[Option::output], "x.wav");
    EXPECT_TRUE(p->has(Option::loop));
    EXPECT_FALSE(p->has(Option::play));
    // --output and -o are one option; "--" ends the options, so a name starting with "-" is an operand.
    EXPECT_EQ(parse({"--output", "y", "--", "--rate", "-z"}, {Option::output})->operands,
              (std::vector<std::string>{"--rate", "-z"}));
    EXPECT_EQ((*parse({"--output=", "y"}, {Option::output}))[Option::output], "");
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
        EXPECT_EQ(error_of(parse(c.words, {Option::output, Option::loop})), c.error) << c.error;
    }
    EXPECT_EQ(spelling_of(Option::output), "-o");
    EXPECT_EQ(spelling_of(Option::out_dir), "--out-dir");
}

TEST(Result, HoldsAValueOrEveryReasonItFailed) {
    const Result<int> value = 7;
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, 7);
    EXPECT_TRUE(value.reasons().empty());
    const Result<int> failed = Failure("--rate 7 is not a rate");
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), "--rate 7 is not a rate");
    const Result<std::string> problems = Failure(std::vector<std::string>{"a:1:2: one", "a:3:4: two"});
    EXPECT_EQ(problems.reasons(), (std::vector<std::string>{"a:1:2: one", "a:3:4: two"}));
    EXPECT_EQ(problems.error(), "a:1:2: one");
    EXPECT_TRUE(Result<>());
    const Result<> not_done = Failure("x.wav: cannot write: No space left on device");
    EXPECT_FALSE(not_done);
    EXPECT_EQ(not_done.error(), "x.wav: cannot write: No space left on device");
}

}  // namespace
}  // namespace bleepforge::tool
