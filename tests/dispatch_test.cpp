#include "dispatch.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_files.hpp"

namespace bleepforge {
namespace {

using testing_support::drain;
using testing_support::read_file;
using testing_support::TempPath;

int about_calls = 0;
void count_about() {
    ++about_calls;
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Drives the dispatch with words that no command line could carry (over 128 KiB, say).
Outcome run(const std::vector<std::string>& words) {
    std::vector<const char*> args;
    for (const std::string& w : words) {
        args.push_back(w.c_str());
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = run_command_line(args, Console{out, err, count_about});
    return {status, drain(out), drain(err)};
}

TEST(Dispatch, ShowsTheBoxForNoWordsOrGuiAndWritesNothing) {
    about_calls = 0;
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{}, {"prog"}, {"prog", "--gui"}, {"prog", "--gui", "--help"}}) {
        const Outcome o = run(words);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out + o.err, "");
    }
    EXPECT_EQ(about_calls, 4);
}

TEST(Dispatch, FallsBackOnHugeAndEmptyWords) {
    TempPath path("out.wav");
    const std::string huge(1 << 20, 'q');
    const Outcome o = run({"p", "--render", huge, huge + "SID", path.str()});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "Rendering Game Over / Defeat on MOS Technology 6581 (C64 SID) -> " + path.str() +
                         "...\nSUCCESS: 16-bit 44.1kHz WAV sound exported (22050 samples)!\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(read_file(path.str()).size(), 44144U);

    const Outcome empty = run({"p", "--header", "", "", path.str()});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "SUCCESS: C/C++ audio header written to " + path.str() + "!\n");
}

TEST(Dispatch, ReportsAFailedWriteOnTheErrorStreamOnly) {
    const Outcome o = run({"p", "--header", "blip", "/no/such/dir/x.h"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "ERROR: Failed to write header file to /no/such/dir/x.h\n");

    const Outcome usage = run({"an odd name", "--renders"});
    EXPECT_EQ(usage.status, 1);
    EXPECT_NE(usage.out.find("Usage: an odd name [command] [options...]\n"), std::string::npos);
    EXPECT_NE(usage.out.find("  an odd name --gui      "), std::string::npos);
    EXPECT_EQ(usage.err, "");
}

}  // namespace
}  // namespace bleepforge
