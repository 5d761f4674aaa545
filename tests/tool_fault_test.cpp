// A temporary output whose close fails is a failed write: the command says so, removes the
// temporary file and leaves the existing output as it was. Nothing makes a real close fail on
// demand, so this program is linked with close wrapped (-Wl,--wrap=close): the wrapper closes the
// descriptor, then reports an error while failing_closes is set.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bleep.hpp"
#include "test_files.hpp"

namespace {
bool failing_closes = false;
}  // namespace

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
    const int result = __real_close(fd);
    if (failing_closes) {
        errno = EIO;
        return -1;
    }
    return result;
}

namespace bleepforge {
namespace {

using testing_support::drain;
using testing_support::read_file;
using testing_support::TempPath;

bool no_browser(const char*) {
    return false;
}

TEST(FailingClose, LeavesTheOldOutputAndNoTemporaryFile) {
    const TempPath dir("work");
    std::filesystem::create_directories(dir.str());
    const std::string sound = dir.str() + "/coin.bleep";
    std::ofstream(sound) << R"({"bleepforge": 1, "preset": "coin"})";
    for (const char* command : {"render", "header"}) {
        SCOPED_TRACE(command);
        const std::string output = dir.str() + "/coin.out";
        std::ofstream(output) << "the old file";
        std::FILE* err = std::tmpfile();
        const tool::ToolConsole console{stdin, stdout, err, no_browser};
        const std::vector<const char*> args{"bleep", command, sound.c_str(), "-o", output.c_str()};
        failing_closes = true;
        const int status = tool::run_bleep(args, console);
        failing_closes = false;
        EXPECT_EQ(status, tool::exit_failure);
        EXPECT_EQ(drain(err), "bleep: " + output + ": cannot write: Input/output error\n");
        EXPECT_EQ(read_file(output), "the old file");
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.str())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"coin.bleep", "coin.out"}));
    }
}

}  // namespace
}  // namespace bleepforge
