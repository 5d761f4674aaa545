#include "listen.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio.hpp"
#include "bleepforge/sound.hpp"
#include "render_plan.hpp"

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

// A command's status once its audio output has closed: exit_ok, or exit_failure when there was none.
int after_playing(const Command& command, const Result<>& played, int status) {
    if (!played) {
        command.report("no audio output: " + played.error());
        return exit_failure;
    }
    return status;
}

// One sound to play, with the name it is announced by.
struct Playing {
    std::string name;
    Voice start;
};

}  // namespace

int command_play(const Command& command, const Arguments& a) {
    const Result<std::int32_t> rate = rate_of(a);
    if (!rate) {
        return command.usage(rate.error());
    }
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    // Every file is read first, so its problems show before anything sounds.
    int status = exit_ok;
    std::vector<Playing> sounds;
    for (const std::string& input : a.operands) {
        if (is_bank(input)) {
            const Result<Bank> bank = command.read_bank_file(input);
            status = command.check(bank) ? status : exit_failure;
            for (const BankEntry& entry : bank ? bank->entries : std::vector<BankEntry>{}) {
                sounds.push_back({input + ": " + entry.name, start_sound(entry.sound, *rate)});
            }
        } else if (const Result<Sound> sound = command.read(input); command.check(sound)) {
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
    return after_playing(command, play_audio(*rate, source), status);
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
        Result<std::string> read = read_input(file, nullptr, max_sound_file_size);
        found.push_back(read ? std::optional<std::string>(std::move(*read)) : std::nullopt);
    }
    return found;
}

// One sound file or bank watched.
struct Watched {
    std::string input;
    std::vector<std::string> files;                    // what its last render read, itself first
    Snapshot previous_look;                            // what the last look found
    Snapshot rendered;                                 // what the last render (or attempt) was made from
    std::map<std::string, SampleBuffer> last_samples;  // a bank's sounds at the last render
    bool written = false;                              // whether a render's outputs were written
};

class Watch {
public:
    Watch(const Command& command, RenderSettings settings, Player* player)
        : command_(command), settings_(std::move(settings)), player_(player) {}

    // Renders the input as render does, alone (reporting what kept it from rendering), and notes
    // the files it read and what they held then: later looks are compared with exactly that, so a
    // save that lands while the render runs is seen at the next look.
    void render(Watched& watched) {
        RenderPlan plan = plan_render(command_, {&watched.input, 1}, settings_);
        PlannedInput& planned = plan.inputs.front();
        watched.files = std::move(planned.read);
        watched.rendered = std::move(planned.held);
        watched.previous_look = watched.rendered;
        const Result<> written = !planned.render ? Result<>(Failure(planned.render.reasons()))
                                 : !plan.clear ? Result<>(Failure(watched.input + ": " + plan.clear.error()))
                                               : write_render(command_, *planned.render);
        if (!command_.check(written)) {
            command_.report(watched.input + (watched.written
                                                 ? ": not rendered; the last good output stays"
                                                 : ": not rendered; nothing is written until it renders"));
            return;
        }
        watched.written = true;
        tell(watched, *planned.render);
    }

    // Looks at the input's files, and renders again when they changed and have settled.
    void look(Watched& watched) {
        Snapshot found = look_at(watched.files);
        if (found != watched.previous_look) {
            watched.previous_look = std::move(found);
            return;
        }
        if (found != watched.rendered) {
            render(watched);
        }
    }

private:
    // A line for each file written, and with --play the sound that changed on the audio output: a
    // sound file's, or the first of a bank's that is new or sounds different since the last render.
    void tell(Watched& watched, InputRender& render) {
        const std::string& input = watched.input;
        const std::vector<FileToWrite>& files = render.files;
        if (!is_bank(input)) {
            command_.say(input + " -> " + files[0].path + " (" +
                         seconds_text(render.sounds[0].samples.size(), settings_.rate_hz) + ")" +
                         (settings_.header ? ", " + files[1].path : std::string()));
            if (player_ != nullptr) {
                player_->offer(start_sound(render.sounds[0].sound, settings_.rate_hz), Player::Start::now);
            }
            return;
        }
        std::optional<Voice> changed;
        std::map<std::string, SampleBuffer> now;
        for (std::size_t i = 0; i < render.sounds.size(); ++i) {
            RenderedSound& sound = render.sounds[i];
            command_.say(input + " -> " + files[i].path + " (" +
                         seconds_text(sound.samples.size(), settings_.rate_hz) + ")");
            const auto last = watched.last_samples.find(sound.name);
            if (!changed && (last == watched.last_samples.end() || last->second != sound.samples)) {
                changed = start_sound(sound.sound, settings_.rate_hz);
            }
            now[sound.name] = std::move(sound.samples);
        }
        if (settings_.header) {
            command_.say(input + " -> " + files.back().path);
        }
        watched.last_samples = std::move(now);
        if (player_ != nullptr && changed) {
            player_->offer(*changed, Player::Start::now);
        }
    }

    const Command& command_;
    RenderSettings settings_;
    Player* player_;  // with --play
};

// What watch renders and where, from its arguments, its sound files' outputs checked for clashes.
Result<RenderSettings> watch_settings(const Arguments& a) {
    const Result<std::int32_t> rate = rate_of(a);
    if (!rate) {
        return Failure(rate.error());
    }
    const Result<WavFormat> format = format_of(a);
    if (!format) {
        return Failure(format.error());
    }
    if (a.operands.empty()) {
        return Failure("a sound file is missing");
    }
    if (std::find(a.operands.begin(), a.operands.end(), "-") != a.operands.end()) {
        return Failure("watch needs sound files; standard input cannot change");
    }
    const RenderSettings settings{std::nullopt, a[Option::out_dir], *rate, *format, a.has(Option::header)};
    // A sound file's outputs are known now; a bank's once it is read, at each render.
    std::vector<Output> outputs;
    for (const std::string& input : a.operands) {
        if (!is_bank(input)) {
            const std::vector<Output> own = sound_file_outputs(input, settings);
            outputs.insert(outputs.end(), own.begin(), own.end());
        }
    }
    if (const Result<> clear = refuse_clashes(outputs); !clear) {
        return Failure(clear.error());
    }
    return settings;
}

}  // namespace

int command_watch(const Command& command, const Arguments& a) {
    const Result<RenderSettings> found = watch_settings(a);
    if (!found) {
        return command.usage(found.error());
    }
    const RenderSettings& settings = *found;
    if (!command.check(make_out_dir(settings))) {
        return exit_failure;
    }
    const bool play = a.has(Option::play);
    Player player(0);
    Watch watch(command, settings, play ? &player : nullptr);
    std::vector<Watched> watched;
    for (const std::string& input : a.operands) {
        watched.push_back({input, {input}, {}, {}, {}, false});
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
                watch.render(w);
            }
        }
        started = true;
    };
    if (play) {
        const Result<> played =
            play_audio(settings.rate_hz, {[&](std::span<float> out) { return player.fill(out); },
                                          [&] {
                                              step();
                                              return !interrupted.load();
                                          }});
        return after_playing(command, played, exit_ok);
    }
    while (!interrupted.load()) {
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return exit_ok;
}

}  // namespace bleepforge::tool
