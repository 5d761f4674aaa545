#pragma once

// The render that render and watch share: read each input, name its outputs, refuse clashes, then
// write. render plans all its inputs at once and writes them; watch plans each input at its start
// and again whenever one of the files it read changes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "command.hpp"
#include "result.hpp"

namespace bleepforge::tool {

// Where the outputs go and what they hold.
struct RenderSettings {
    std::optional<std::string> output;  // render -o: the WAV file of its one sound file ("-" standard output)
    std::optional<std::string> out_dir;  // else beside each input, or in out_dir
    std::int32_t rate_hz = default_rate_hz;
    WavFormat format = WavFormat::s16;
    bool header = false;  // a header too, beside the WAV files, its symbols named after the input
};

// One sound an input renders: a sound file's own, or one of a bank's.
struct RenderedSound {
    std::string name;  // the bank's name for it; empty for a sound file
    Sound sound;
    SampleBuffer samples;
};

// An input read, rendered and encoded: its sounds in order, and the files they make (a WAV file for
// each sound, in the same order, then the header when one is asked for).
struct InputRender {
    std::vector<RenderedSound> sounds;
    std::vector<FileToWrite> files;
};

// One input of a plan.
struct PlannedInput {
    std::string input;
    std::vector<std::string> read;  // every file read for it, the input first, even when one failed
    std::vector<std::optional<std::string>> held;  // what each of those held as read (nothing: unreadable)
    std::vector<Output> outputs;    // where it writes; a sound file's are named from its path alone
    Result<InputRender> render;     // or every problem that kept it from rendering
};

struct RenderPlan {
    std::vector<PlannedInput> inputs;  // in the order given
    Result<> clear;  // whether every input's outputs may be written as planned (refuse_clashes)
};

// Reads, renders and encodes each input and names its outputs. An input that fails to read or
// render keeps its problems in its entry; the others are planned all the same.
[[nodiscard]] RenderPlan plan_render(const Command& command, std::span<const std::string> inputs,
                                     const RenderSettings& settings);

// The outputs of a sound file, known before it is read: a check a command can make at once.
[[nodiscard]] std::vector<Output> sound_file_outputs(const std::string& input,
                                                     const RenderSettings& settings);

// Writes an input's files all or nothing ("-" is standard output), or fails naming the file.
// The --out-dir folder made where it is missing (with the folders above it), or why it cannot be.
[[nodiscard]] Result<> make_out_dir(const RenderSettings& settings);

[[nodiscard]] Result<> write_render(const Command& command, const InputRender& render);

}  // namespace bleepforge::tool
