// The render that render and watch share, on real files: what it reads, names and refuses.
#include "render_plan.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "test_files.hpp"

namespace bleepforge::tool {
namespace {

using testing_support::TempPath;

bool no_browser(const char*) {
    return false;
}

class RenderPlanTest : public ::testing::Test {
protected:
    RenderPlanTest() : dir_("work") {
        std::filesystem::create_directories(dir_.str() + "/sfx");
        std::filesystem::create_directories(dir_.str() + "/out");
        write("zap.bleep", R"({"bleepforge": 1, "preset": "laser", "duration": 0.05})");
        write("sfx/coin.bleep", R"({"bleepforge": 1, "preset": "coin", "duration": 0.05})");
        write(
            "game.bleepbank",
            R"({"bleepforge": 2, "sounds": {"coin": "sfx/coin.bleep", "hit": {"preset": "hit", "duration": 0.05}}})");
        write("bad.bleep", R"({"bleepforge": 1, "atack": 0.1, "duty": 2})");
    }

    std::string path(const std::string& name) const { return dir_.str() + "/" + name; }
    // A path as the tool joins a folder and a name (with the platform's separator between them).
    static std::string joined(const std::string& folder, const std::string& name) {
        return (std::filesystem::path(folder) / name).string();
    }
    void write(const std::string& name, const std::string& text) const { std::ofstream(path(name)) << text; }

    RenderPlan plan(std::vector<std::string> inputs, const RenderSettings& settings) {
        for (std::string& input : inputs) {
            input = path(input);
        }
        return plan_render(command_, inputs, settings);
    }

    std::vector<std::string> paths_of(const std::vector<FileToWrite>& files) const {
        std::vector<std::string> paths;
        for (const FileToWrite& file : files) {
            paths.push_back(std::filesystem::path(file.path).lexically_relative(dir_.str()).generic_string());
        }
        return paths;
    }

    TempPath dir_;
    ToolConsole console_{stdin, stdout, stderr, no_browser};
    Command command_{console_};
};

TEST_F(RenderPlanTest, ReadsRendersAndNamesEachInput) {
    const RenderPlan p =
        plan({"zap.bleep", "game.bleepbank"}, {std::nullopt, path("out"), 22050, WavFormat::u8, true});
    ASSERT_TRUE(p.clear) << p.clear.error();
    ASSERT_EQ(p.inputs.size(), 2U);

    const PlannedInput& zap = p.inputs[0];
    ASSERT_TRUE(zap.render);
    EXPECT_EQ(zap.read, std::vector<std::string>{path("zap.bleep")});
    EXPECT_EQ(paths_of(zap.render->files), (std::vector<std::string>{"out/zap.wav", "out/zap.h"}));
    const Sound laser = Sound{SfxPreset::laser, make_patch(SfxPreset::laser, ChipType::nes), 0.05, {}};
    const SampleBuffer samples = render_sound(laser, 22050);
    EXPECT_EQ(zap.render->files[0].bytes, wav_bytes(samples, 22050, WavFormat::u8));
    EXPECT_EQ(zap.render->files[1].bytes, c_header_text(samples, "zap", 22050));  // named after the file

    // A bank: one WAV file a sound, in its order, then its header; it read the file it names too.
    const PlannedInput& game = p.inputs[1];
    ASSERT_TRUE(game.render);
    EXPECT_EQ(game.read, (std::vector<std::string>{path("game.bleepbank"), joined(dir_.str(), "sfx/coin.bleep")}));
    EXPECT_EQ(paths_of(game.render->files),
              (std::vector<std::string>{"out/coin.wav", "out/hit.wav", "out/game.h"}));
    ASSERT_EQ(game.render->sounds.size(), 2U);
    EXPECT_EQ(game.render->sounds[1].name, "hit");
    EXPECT_NE(game.render->files[2].bytes.find("enum game_id {"), std::string::npos);
    EXPECT_EQ(game.outputs.size(), 3U);
    EXPECT_EQ(game.outputs[2].what, "the header");
}

// watch compares its later looks with what the render read, byte for byte, so that record must be
// the files as read: one entry a file read, nothing where a file could not be read.
TEST_F(RenderPlanTest, HoldsWhatEachFileReadHeld) {
    write(
        "mixed.bleepbank",
        R"({"bleepforge": 2, "sounds": {"a": "sfx/coin.bleep", "b": "gone.bleep", "c": "sfx/coin.bleep"}})");
    const RenderSettings beside{std::nullopt, std::nullopt, 44100, WavFormat::s16, false};
    const RenderPlan p = plan({"bad.bleep", "missing.bleep", "mixed.bleepbank", "game.bleepbank"}, beside);
    ASSERT_EQ(p.inputs.size(), 4U);
    const std::string coin = R"({"bleepforge": 1, "preset": "coin", "duration": 0.05})";
    EXPECT_EQ(p.inputs[0].held,
              (std::vector<std::optional<std::string>>{R"({"bleepforge": 1, "atack": 0.1, "duty": 2})"}));
    EXPECT_EQ(p.inputs[1].held, (std::vector<std::optional<std::string>>{std::nullopt}));
    const PlannedInput& mixed = p.inputs[2];
    EXPECT_FALSE(mixed.render);
    ASSERT_EQ(mixed.held.size(), mixed.read.size());
    std::size_t gone_files = 0;
    for (std::size_t i = 1; i < mixed.read.size(); ++i) {
        const bool gone = mixed.read[i].ends_with("gone.bleep");
        gone_files += gone ? 1 : 0;
        EXPECT_EQ(mixed.held[i], gone ? std::nullopt : std::optional<std::string>(coin)) << mixed.read[i];
    }
    EXPECT_EQ(gone_files, 1U);
    const PlannedInput& game = p.inputs[3];
    ASSERT_TRUE(game.render);
    ASSERT_EQ(game.held.size(), 2U);
    EXPECT_NE(game.held[0]->find(R"("hit": {"preset": "hit")"), std::string::npos);
    EXPECT_EQ(game.held[1], coin);
}

TEST_F(RenderPlanTest, KeepsEachInputsProblemsAndRefusesClashesOverAll) {
    const RenderSettings beside{std::nullopt, std::nullopt, 44100, WavFormat::s16, false};
    const RenderPlan p = plan({"bad.bleep", "missing.bleep", "zap.bleep"}, beside);
    ASSERT_EQ(p.inputs.size(), 3U);
    ASSERT_FALSE(p.inputs[0].render);
    ASSERT_FALSE(p.inputs[1].render);
    EXPECT_EQ(p.inputs[0].render.reasons().size(), 2U);  // every problem of the file, one a line
    EXPECT_NE(p.inputs[0].render.reasons()[0].find("bad.bleep:1:19: unknown member \"atack\""),
              std::string::npos);
    EXPECT_NE(p.inputs[1].render.error().find("missing.bleep: cannot read: "), std::string::npos);
    EXPECT_TRUE(p.inputs[2].render);
    EXPECT_TRUE(p.clear);

    // A sound file's output is named from its path, read or not, so a clash shows either way; a
    // bank's outputs count against every file it read.
    const RenderPlan twice = plan({"bad.bleep", "sfx/../bad.bleep"}, beside);
    ASSERT_FALSE(twice.clear);
    EXPECT_NE(twice.clear.error().find("would both be written to"), std::string::npos);
    write("sfx/coin.wav", R"({"bleepforge": 1, "preset": "coin"})");
    write("wav.bleepbank", R"({"bleepforge": 2, "sounds": {"coin": "sfx/coin.wav"}})");
    const RenderPlan into_input =
        plan({"wav.bleepbank"}, {std::nullopt, path("sfx"), 44100, WavFormat::s16, false});
    ASSERT_TRUE(into_input.inputs[0].render);
    ASSERT_FALSE(into_input.clear);
    EXPECT_EQ(into_input.clear.error(), "the WAV file " + joined(path("sfx"), "coin.wav") +
                                            " would replace the sound file " + joined(dir_.str(), "sfx/coin.wav") +
                                            " it is made from; write it elsewhere with -o");

    // A header whose symbols would not compile keeps the bank from rendering.
    write("char8.bleepbank", R"({"bleepforge": 2, "sounds": {"t": {"preset": "blip"}}})");
    const RenderPlan keyword =
        plan({"char8.bleepbank"}, {std::nullopt, std::nullopt, 44100, WavFormat::s16, true});
    ASSERT_FALSE(keyword.inputs[0].render);
    EXPECT_EQ(
        keyword.inputs[0].render.error(),
        path("char8.bleepbank") +
            ": the header's name char8 (from the file's) with the sound \"t\" makes a keyword, not a symbol");
}

}  // namespace
}  // namespace bleepforge::tool
