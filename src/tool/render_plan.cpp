#include "render_plan.hpp"

#include <filesystem>
#include <utility>

namespace bleepforge::tool {
namespace {

// A header name made of a file's name, for the symbols of a header written beside it.
std::string header_name_for(const std::string& path) {
    std::string name = std::filesystem::path(path).stem().string();
    for (char& c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        c = letter || (c >= '0' && c <= '9') ? c : '_';
    }
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
        name = "sfx_" + name;
    }
    return is_header_name(name) ? name : name + "_sfx";
}

Result<InputRender> render_sound_file(const Command& command, const std::string& input,
                                      const RenderSettings& settings, std::optional<std::string>& held) {
    Result<Sound> sound = command.read(input, &held);
    if (!sound) {
        return Failure(sound.reasons());
    }
    InputRender render;
    render.sounds.push_back({"", std::move(*sound), {}});
    RenderedSound& rendered = render.sounds.back();
    rendered.samples = render_sound(rendered.sound, settings.rate_hz);
    std::optional<std::string> bytes = wav_bytes(rendered.samples, settings.rate_hz, settings.format);
    if (!bytes) {
        return Failure(input + ": the sound is too long for a WAV file");
    }
    const std::vector<Output> outputs = sound_file_outputs(input, settings);
    render.files.push_back({outputs[0].path, std::move(*bytes)});
    if (settings.header) {
        render.files.push_back(
            {outputs[1].path, c_header_text(rendered.samples, header_name_for(input), settings.rate_hz)});
    }
    return render;
}

Result<InputRender> render_bank_file(const Command& command, const std::string& input,
                                     const RenderSettings& settings, std::vector<std::string>& read,
                                     std::vector<std::optional<std::string>>& held) {
    Result<Bank> bank = command.read_bank_file(input, &read, &held);
    if (!bank) {
        return Failure(bank.reasons());
    }
    const std::filesystem::path folder = settings.out_dir ? std::filesystem::path(*settings.out_dir)
                                                          : std::filesystem::path(input).parent_path();
    InputRender render;
    std::vector<SampleBuffer> samples = render_bank(*bank, settings.rate_hz);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        BankEntry& entry = bank->entries[i];
        std::optional<std::string> bytes = wav_bytes(samples[i], settings.rate_hz, settings.format);
        if (!bytes) {
            return Failure(input + ": the sound \"" + entry.name + "\" is too long for a WAV file");
        }
        render.files.push_back({(folder / (entry.name + ".wav")).string(), std::move(*bytes)});
    }
    if (settings.header) {
        const std::string name = header_name_for(input);
        Result<std::string> text = bank_header(
            *bank, samples, name, "the header's name " + name + " (from the file's)", settings.rate_hz);
        if (!text) {
            return Failure(input + ": " + text.error());
        }
        render.files.push_back({output_beside(input, settings.out_dir, ".h"), std::move(*text)});
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        BankEntry& entry = bank->entries[i];
        render.sounds.push_back({std::move(entry.name), std::move(entry.sound), std::move(samples[i])});
    }
    return render;
}

}  // namespace

std::vector<Output> sound_file_outputs(const std::string& input, const RenderSettings& settings) {
    std::vector<Output> outputs{
        {settings.output ? *settings.output : output_beside(input, settings.out_dir, ".wav"),
         "the WAV file",
         {input}}};
    if (settings.header) {
        outputs.push_back({output_beside(input, settings.out_dir, ".h"), "the header", {input}});
    }
    return outputs;
}

RenderPlan plan_render(const Command& command, std::span<const std::string> inputs,
                       const RenderSettings& settings) {
    RenderPlan plan{{}, {}};
    std::vector<Output> outputs;
    for (const std::string& input : inputs) {
        if (!is_bank(input)) {
            std::optional<std::string> held;
            Result<InputRender> render = render_sound_file(command, input, settings, held);
            PlannedInput planned{
                input, {input}, {std::move(held)}, sound_file_outputs(input, settings), std::move(render)};
            outputs.insert(outputs.end(), planned.outputs.begin(), planned.outputs.end());
            plan.inputs.push_back(std::move(planned));
            continue;
        }
        std::vector<std::string> read;
        std::vector<std::optional<std::string>> held;
        Result<InputRender> render = render_bank_file(command, input, settings, read, held);
        std::vector<Output> named;
        if (render) {
            const std::size_t wav_files = render->sounds.size();
            for (std::size_t i = 0; i < render->files.size(); ++i) {
                named.push_back({render->files[i].path, i < wav_files ? "the WAV file" : "the header", read});
            }
        }
        outputs.insert(outputs.end(), named.begin(), named.end());
        plan.inputs.push_back({input, std::move(read), std::move(held), std::move(named), std::move(render)});
    }
    plan.clear = refuse_clashes(outputs);
    return plan;
}

Result<> make_out_dir(const RenderSettings& settings) {
    if (!settings.out_dir) {
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(*settings.out_dir, error);
    if (error) {
        return Failure("cannot make the folder " + *settings.out_dir + ": " + error.message());
    }
    return {};
}

Result<> write_render(const Command& command, const InputRender& render) {
    if (render.files.size() == 1 && render.files[0].path == "-") {
        return command.write(std::nullopt, render.files[0].bytes);
    }
    return write_files(render.files);
}

}  // namespace bleepforge::tool
