#include "listen.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio.hpp"
#include "bleepforge/sound.hpp"

namespace bleepforge::tool {

void Player::offer(const Voice& voice, Start start) {
    const std::lock_guard<std::mutex> hold(slot_mutex_);
    slot_ = voice;  // the copy, and freeing the voice it replaces, happen here and not in the audio thread
    pending_.store(static_cast<int>(start) + 1);
}

std::size_t Player::fill(std::span<float> out) {
    std::size_t written = 0;
    while (written < out.size()) {
        const int pending = pending_.load();
        const bool may_start =
            pending == static_cast<int>(Start::now) + 1 ||
            (pending == static_cast<int>(Start::after) + 1 && !sounding_ && gap_left_ == 0);
        if (may_start && slot_mutex_.try_lock()) {
            std::swap(current_, slot_);
            pending_.store(0);
            slot_mutex_.unlock();
            sounding_ = true;
            gap_left_ = 0;
            started_.fetch_add(1);
        }
        const std::span<float> rest = out.subspan(written);
        if (sounding_) {
            written += render_voice(current_, rest);
            if (samples_left(current_) == 0) {
                sounding_ = false;
                gap_left_ = gap_samples_;
            }
            continue;
        }
        // Ending is read first: the program sets it after its last offer, so that offer is seen.
        if (ending_.load() && pending_.load() == 0) {
            return written;  // the last voice has played; no gap after it
        }
        // The gap, or silence until a voice is offered.
        const std::size_t quiet = gap_left_ != 0 ? std::min(gap_left_, rest.size()) : rest.size();
        std::fill_n(rest.begin(), quiet, 0.0f);
        written += quiet;
        gap_left_ -= std::min(gap_left_, quiet);
    }
    return written;
}

namespace {

// Ctrl+C (or a request to terminate) ends play and watch cleanly; a second one ends the program.
std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int signal) {
    interrupted.store(true);
    std::signal(signal, SIG_DFL);
}

void stop_on_interrupt() {
    interrupted.store(false);
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
}

// Between two sounds played in turn.
constexpr double gap_s = 0.25;

std::string no_audio(const std::string& why) {
    return "no audio output: " + why;
}

// One sound to play, with the name it is announced by.
struct Playing {
    std::string name;
    Voice start;
};

}  // namespace

int command_play(const Command& command, const Arguments& a) {
    std::string error;
    const auto rate = rate_of(a, error);
    if (!rate) {
        return command.usage(error);
    }
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    // Every file is read first, so its problems show before anything sounds.
    int status = exit_ok;
    std::vector<Playing> sounds;
    for (const std::string& input : a.operands) {
        if (is_bank(input)) {
            const std::optional<Bank> bank = command.read_bank_file(input);
            status = bank ? status : exit_failure;
            for (const BankEntry& entry : bank ? bank->entries : std::vector<BankEntry>{}) {
                sounds.push_back({input + ": " + entry.name, start_sound(entry.sound, *rate)});
            }
        } else if (const std::optional<Sound> sound = command.read(input)) {
            sounds.push_back({input == "-" ? std::string("<stdin>") : input, start_sound(*sound, *rate)});
        } else {
            status = exit_failure;
        }
    }
    if (sounds.empty()) {
        return status;
    }
    const bool loop = a.has(Option::loop);
    Player player(static_cast<std::size_t>(gap_s * *rate));
    std::size_t offered = 1;
    std::uint64_t announced = 0;
    player.offer(sounds[0].start, Player::Start::after);
    player.set_ending(!loop && sounds.size() == 1);
    stop_on_interrupt();
    const AudioSource source{
        [&](std::span<float> out) { return player.fill(out); },
        [&] {
            for (; announced < player.started(); ++announced) {
                if (announced < sounds.size()) {
                    const Playing& sound = sounds[announced];
                    command.say("playing " + sound.name + " (" +
                                seconds_text(samples_left(sound.start), *rate) + ")");
                }
            }
            if (player.offer_taken() && (loop || offered < sounds.size())) {
                player.offer(sounds[offered % sounds.size()].start, Player::Start::after);
                ++offered;
                player.set_ending(!loop && offered == sounds.size());
            }
            return !interrupted.load();
        },
    };
    const std::string why = play_audio(*rate, source);
    if (!why.empty()) {
        return command.fail(exit_failure, no_audio(why));
    }
    return status;
}

namespace {

// How often watch looks at its files. Each look reads them whole and compares the bytes: sound
// files are small, and this sees every kind of save alike (written in place, renamed over,
// deleted and made again), on every file system and under every platform's emulation, where
// change notifications differ. A change is acted on once two looks agree, so a file caught
// half-written is not reported as broken.
constexpr auto look_interval = std::chrono::milliseconds(50);

// What a look found in one file: its bytes, or nothing when it could not be read.
using Snapshot = std::vector<std::optional<std::string>>;

Snapshot look_at(const std::vector<std::string>& files) {
    Snapshot found;
    for (const std::string& file : files) {
        ReadOutcome read = read_input(file, nullptr, max_sound_file_size);
        found.push_back(read.ok ? std::optional<std::string>(std::move(read.text)) : std::nullopt);
    }
    return found;
}

// A C identifier made of a file's name, for the symbols of the header watch writes beside it.
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

struct WatchOptions {
    std::optional<std::string> out_dir;
    std::int32_t rate_hz = default_rate_hz;
    WavFormat format = WavFormat::s16;
    bool header = false;
    Player* player = nullptr;  // with --play
};

// One sound file or bank watched.
struct Watched {
    std::string input;
    std::vector<std::string> files;                    // what its last render read, itself first
    Snapshot previous_look;                            // what the last look found
    Snapshot rendered;                                 // what the last render (or attempt) was made from
    std::map<std::string, SampleBuffer> last_samples;  // a bank's sounds at the last render
};

class Watch {
public:
    Watch(const Command& command, WatchOptions options) : command_(command), options_(std::move(options)) {}

    // Renders the input (reporting what kept it from rendering) and notes what it read.
    void render(Watched& watched) {
        std::vector<std::string> read = {watched.input};
        if (is_bank(watched.input)) {
            read.clear();
            render_bank_file(watched, read);
        } else {
            render_sound_file(watched);
        }
        watched.files = std::move(read);
    }

    // Renders the input and notes what the render was made from: found, the look just taken of
    // its files, or a fresh look where the render found it reads other files now.
    void refresh(Watched& watched, Snapshot found) {
        const std::vector<std::string> files = watched.files;
        render(watched);
        watched.rendered = watched.files == files ? std::move(found) : look_at(watched.files);
        watched.previous_look = watched.rendered;
    }

    // Looks at the input's files, and renders again when they changed and have settled.
    void look(Watched& watched) {
        Snapshot found = look_at(watched.files);
        if (found != watched.previous_look) {
            watched.previous_look = std::move(found);
            return;
        }
        if (found != watched.rendered) {
            refresh(watched, std::move(found));
        }
    }

private:
    void kept(const std::string& input) const {
        command_.report(input + ": not rendered; the last good output stays");
    }

    // Writes the files all or nothing, and tells what was written.
    bool write(const std::string& input, const std::vector<FileToWrite>& files) const {
        const FilesOutcome written = write_files(files);
        if (!written.error.empty()) {
            command_.report(written.path + ": cannot write: " + written.error);
            kept(input);
            return false;
        }
        return true;
    }

    void render_sound_file(Watched& watched) {
        const std::string& input = watched.input;
        const std::optional<Sound> sound = command_.read(input);
        if (!sound) {
            kept(input);
            return;
        }
        const SampleBuffer samples = render_sound(*sound, options_.rate_hz);
        std::optional<std::string> bytes = wav_bytes(samples, options_.rate_hz, options_.format);
        if (!bytes) {
            command_.report(input + ": the sound is too long for a WAV file");
            kept(input);
            return;
        }
        std::vector<FileToWrite> files{{output_beside(input, options_.out_dir, ".wav"), std::move(*bytes)}};
        if (options_.header) {
            files.push_back({output_beside(input, options_.out_dir, ".h"),
                             c_header_text(samples, header_name_for(input), options_.rate_hz)});
        }
        if (!write(input, files)) {
            return;
        }
        command_.say(input + " -> " + files[0].path + " (" + seconds_text(samples.size(), options_.rate_hz) +
                     ")" + (options_.header ? ", " + files[1].path : std::string()));
        if (options_.player != nullptr) {
            options_.player->offer(start_sound(*sound, options_.rate_hz), Player::Start::now);
        }
    }

    void render_bank_file(Watched& watched, std::vector<std::string>& read) {
        const std::string& input = watched.input;
        const std::optional<Bank> bank = command_.read_bank_file(input, &read);
        if (!bank) {
            kept(input);
            return;
        }
        std::vector<SampleBuffer> samples = render_bank(*bank, options_.rate_hz);
        std::string error;
        std::optional<std::vector<FileToWrite>> files =
            bank_wav_files(*bank, samples, input, options_.out_dir, options_.rate_hz, options_.format, error);
        if (files && options_.header) {
            if (std::optional<std::string> text =
                    bank_header(*bank, samples, header_name_for(input), options_.rate_hz, error)) {
                files->push_back({output_beside(input, options_.out_dir, ".h"), std::move(*text)});
            } else {
                files.reset();
            }
        }
        std::vector<Output> outputs;
        for (const FileToWrite& file : files ? *files : std::vector<FileToWrite>{}) {
            outputs.push_back({file.path, "the output", read});
        }
        if (const std::optional<std::string> clash = clash_of(outputs); files && clash) {
            error = *clash;
            files.reset();
        }
        if (!files) {
            command_.report(input + ": " + error);
            kept(input);
            return;
        }
        if (!write(input, *files)) {
            return;
        }
        // The first sound that is new or sounds different since the last render is the one played.
        std::optional<Voice> changed;
        std::map<std::string, SampleBuffer> now;
        for (std::size_t i = 0; i < bank->entries.size(); ++i) {
            const BankEntry& entry = bank->entries[i];
            command_.say(input + " -> " + (*files)[i].path + " (" +
                         seconds_text(samples[i].size(), options_.rate_hz) + ")");
            const auto last = watched.last_samples.find(entry.name);
            if (!changed && (last == watched.last_samples.end() || last->second != samples[i])) {
                changed = start_sound(entry.sound, options_.rate_hz);
            }
            now[entry.name] = std::move(samples[i]);
        }
        if (options_.header) {
            command_.say(input + " -> " + files->back().path);
        }
        watched.last_samples = std::move(now);
        if (options_.player != nullptr && changed) {
            options_.player->offer(*changed, Player::Start::now);
        }
    }

    const Command& command_;
    WatchOptions options_;
};

}  // namespace

int command_watch(const Command& command, const Arguments& a) {
    std::string error;
    const auto rate = rate_of(a, error);
    const auto format = rate ? format_of(a, error) : std::nullopt;
    if (!rate || !format) {
        return command.usage(error);
    }
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    if (std::find(a.operands.begin(), a.operands.end(), "-") != a.operands.end()) {
        return command.usage("watch needs sound files; standard input cannot change");
    }
    // A sound file's outputs are known now; a bank's once it is read, at each render.
    std::vector<Output> outputs;
    for (const std::string& input : a.operands) {
        if (!is_bank(input)) {
            outputs.push_back({output_beside(input, a[Option::out_dir], ".wav"), "the WAV file", {input}});
            if (a.has(Option::header)) {
                outputs.push_back({output_beside(input, a[Option::out_dir], ".h"), "the header", {input}});
            }
        }
    }
    if (auto clash = clash_of(outputs)) {
        return command.usage(*clash);
    }
    const bool play = a.has(Option::play);
    Player player(0);
    Watch watch(command,
                {a[Option::out_dir], *rate, *format, a.has(Option::header), play ? &player : nullptr});
    std::vector<Watched> watched;
    for (const std::string& input : a.operands) {
        watched.push_back({input, {input}, {}, {}, {}});
    }
    stop_on_interrupt();
    bool started = false;
    auto next_look = std::chrono::steady_clock::now();
    auto step = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (now < next_look) {
            return;
        }
        next_look = now + look_interval;
        for (Watched& w : watched) {
            if (started) {
                watch.look(w);
            } else {
                watch.refresh(w, look_at(w.files));
            }
        }
        started = true;
    };
    if (play) {
        const std::string why = play_audio(*rate, {[&](std::span<float> out) { return player.fill(out); },
                                                   [&] {
                                                       step();
                                                       return !interrupted.load();
                                                   }});
        return why.empty() ? exit_ok : command.fail(exit_failure, no_audio(why));
    }
    while (!interrupted.load()) {
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return exit_ok;
}

}  // namespace bleepforge::tool
