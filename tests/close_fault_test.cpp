// A file whose last flush or close fails is a failed write. Nothing makes a real fclose fail on
// demand, so this program is linked with fclose wrapped (-Wl,--wrap=fclose): the wrapper closes
// the file, then reports an error while failing_closes is set.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "bleepforge/export.hpp"
#include "dispatch.hpp"
#include "test_files.hpp"

namespace {
bool failing_closes = false;
}  // namespace

extern "C" int __real_fclose(std::FILE* stream);
extern "C" int __wrap_fclose(std::FILE* stream) {
    const int result = __real_fclose(stream);
    if (failing_closes) {
        errno = EIO;
        return EOF;
    }
    return result;
}

namespace bleepforge {
namespace {

using testing_support::drain;
using testing_support::read_file;
using testing_support::TempPath;

// Turns the failure on for one scope.
struct FailingCloses {
    FailingCloses() { failing_closes = true; }
    FailingCloses(const FailingCloses&) = delete;
    FailingCloses& operator=(const FailingCloses&) = delete;
    ~FailingCloses() { failing_closes = false; }
};

TEST(FailingClose, MakesBothExportersReportFailure) {
    TempPath wav("out.wav");
    TempPath header("out.h");
    ASSERT_TRUE(write_wav(wav.str(), SampleBuffer{0.5f}, 44100));
    ASSERT_TRUE(write_c_header(header.str(), SampleBuffer{0.5f}, "chiptune_sfx", 44100));
    {
        const FailingCloses failing;
        EXPECT_FALSE(write_wav(wav.str(), SampleBuffer{0.5f}, 44100));
        EXPECT_FALSE(write_c_header(header.str(), SampleBuffer{0.5f}, "chiptune_sfx", 44100));
    }
    EXPECT_EQ(read_file(wav.str()).size(), 46U);  // every byte reached the file all the same
}

void no_box() {}

TEST(FailingClose, MakesTheProgramSayError) {
    TempPath path("out");
    for (const char* command : {"--render", "--header"}) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const std::vector<const char*> args{"bleepforge", command, "coin", "sid", path.str().c_str()};
        int status = 0;
        {
            const FailingCloses failing;
            status = run_command_line(args, Console{out, err, no_box});
        }
        const std::string what = std::string(command) == "--render" ? "WAV" : "header";
        EXPECT_EQ(status, 1) << command;
        EXPECT_EQ(drain(err), "ERROR: Failed to write " + what + " file to " + path.str() + "\n");
        EXPECT_EQ(drain(out).find("SUCCESS"), std::string::npos);
    }
}

}  // namespace
}  // namespace bleepforge
