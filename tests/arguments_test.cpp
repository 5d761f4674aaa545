#include "arguments.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "result.hpp"

namespace bleepforge::tool {
namespace {

Result<Arguments> parse(std::vector<const char*> words, std::vector<Option> allowed) {
    std::vector<OptionUse> uses;
    for (const Option option : allowed) {
        uses.push_back({option});
    }
    return parse_arguments(words, uses);
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
        {{"--help"}, "unknown option --help"},  // instead of a command, never after one
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(parse(c.words, {Option::output, Option::loop})), c.error) << c.error;
    }
    EXPECT_EQ(spelling_of(Option::output), "-o");
    EXPECT_EQ(spelling_of(Option::out_dir), "--out-dir");
    EXPECT_EQ(spelled("--output"), Option::output);
    EXPECT_EQ(spelled("-h"), Option::help);
    EXPECT_EQ(spelled("--outputs"), std::nullopt);
    EXPECT_EQ((*find_command("render"))->verb, Verb::render);
    ASSERT_FALSE(find_command("blep"));
    EXPECT_EQ(find_command("blep").error(), "unknown command blep");
}

// The usage, byte for byte: as it was typed out before the table wrote it, with the commands and options
// that came after.
TEST(Usage, IsEveryCommandsLineFromTheTable) {
    EXPECT_EQ(usage_text(),
              "usage: bleep new PRESET [CHIP] [-o FILE]\n"
              "       bleep random PRESET [CHIP] [--seed N] [--layers N] [--hardware] [-o FILE]\n"
              "       bleep mutate FILE [--amount A] [--seed N] [--hardware] [-o FILE]\n"
              "       bleep render FILE... [-o OUT.wav | --out-dir DIR] [--rate HZ] [--format s16|u8|f32]\n"
              "       bleep header FILE [-o OUT.h] [--name IDENT] [--rate HZ] [--depfile FILE]\n"
              "       bleep export FILE --to frames|nsf|famistudio|gbs|vgm|gbdk [-o OUT] [--name IDENT] "
              "[--player-rate HZ]\n"
              "       bleep check FILE... [--strict] [--rate HZ]\n"
              "       bleep play FILE... [--rate HZ] [--loop]\n"
              "       bleep watch FILE... [--out-dir DIR] [--rate HZ] [--format F] [--header] [--play]\n"
              "       bleep studio\n");
    EXPECT_EQ(commands_help(),
              "  new PRESET [CHIP]          the sound file of a preset on a chip (default nes)\n"
              "  random PRESET [CHIP]       a new random sound of the preset's family\n"
              "  mutate FILE                the sound moved a little\n"
              "  render FILE...             each sound to a mono WAV file (FILE with .wav)\n"
              "  header FILE                the sound as a C/C++ header (FILE with .h)\n"
              "  export FILE                a hardware sound for the console's players (FILE with .frames,\n"
              "                             .nsf, .s, .gbs, .vgm or .c and .h)\n"
              "  check FILE...              report every problem of every file, and warnings\n"
              "  play FILE...               play each sound in turn on the audio output\n"
              "  watch FILE...              render each sound now and again at every save, until Ctrl+C\n"
              "  studio                     open the studio page in the web browser\n");
}

// The help says of each option which commands take it, and those are exactly the commands whose
// words parse it; its lines fit the width, continued under the text's column.
TEST(Help, NamesTheCommandsThatTakeEachOption) {
    std::vector<std::string> lines;
    std::istringstream help(options_help());
    for (std::string line; std::getline(help, line);) {
        EXPECT_LE(line.size(), help_width) << line;
        EXPECT_TRUE(line.starts_with("  -") || line.starts_with(std::string(29, ' '))) << line;
        if (line.starts_with("  -")) {
            lines.push_back(line);
        } else {
            lines.back() += " " + line.substr(29);
        }
    }
    ASSERT_EQ(lines.size(), option_rows().size());
    EXPECT_EQ(
        lines[2],
        "  --rate HZ                  render, header, check, play, watch: sample rate, 8000 to 192000 "
        "(default 44100)");
    EXPECT_EQ(lines[16], "  -h, --help                 this text");
    for (std::size_t i = 0; i < option_rows().size(); ++i) {
        const OptionRow& row = option_rows()[i];
        const std::string text = lines[i].substr(29);
        const std::string takers = text.substr(0, text.find(": "));
        for (const CommandRow& command : command_rows()) {
            const std::string value = row.choices.empty() ? "x" : std::string(row.choices[0]);
            const std::vector<const char*> words =
                row.value.empty() ? std::vector<const char*>{row.spelling.data()}
                                  : std::vector<const char*>{row.spelling.data(), value.c_str()};
            const bool parses = parse_arguments(words, command.options).ok();
            const bool named =
                (", " + takers + ",").find(", " + std::string(command.word) + ",") != std::string::npos;
            EXPECT_EQ(parses, named) << row.spelling << " " << command.word;
        }
    }
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
