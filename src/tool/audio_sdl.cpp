// Linux and other POSIX desktops: SDL 2, loaded when a sound is first played. The program itself
// stays one file that needs only the C library: SDL, and the desktop's audio libraries it loads
// in turn (PipeWire, PulseAudio, ALSA), are looked for at run time, and their absence is an
// ordinary "no audio output".
#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "audio.hpp"

namespace bleepforge::tool {
namespace {

// The few functions used, found by name in the library.
struct Sdl {
    decltype(&SDL_SetHint) set_hint = nullptr;
    decltype(&SDL_InitSubSystem) init_subsystem = nullptr;
    decltype(&SDL_QuitSubSystem) quit_subsystem = nullptr;
    decltype(&SDL_GetError) get_error = nullptr;
    decltype(&SDL_OpenAudioDevice) open_device = nullptr;
    decltype(&SDL_PauseAudioDevice) pause_device = nullptr;
    decltype(&SDL_CloseAudioDevice) close_device = nullptr;
};

// SDL, or why it cannot be used. The library stays loaded: its threads may outlive a device.
Result<Sdl> load_sdl() {
    void* library = ::dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        return Failure(std::string("SDL 2 is not installed (") + (why != nullptr ? why : "libSDL2-2.0.so.0") +
                       ")");
    }
    Sdl sdl;
    bool complete = true;
    auto find = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
        complete = complete && function != nullptr;
    };
    find(sdl.set_hint, "SDL_SetHint");
    find(sdl.init_subsystem, "SDL_InitSubSystem");
    find(sdl.quit_subsystem, "SDL_QuitSubSystem");
    find(sdl.get_error, "SDL_GetError");
    find(sdl.open_device, "SDL_OpenAudioDevice");
    find(sdl.pause_device, "SDL_PauseAudioDevice");
    find(sdl.close_device, "SDL_CloseAudioDevice");
    if (!complete) {
        return Failure("the installed SDL 2 lacks its audio functions");
    }
    return sdl;
}

// ALSA reports a missing card on standard error itself, in several lines; SDL's error says it once.
extern "C" void ignore_alsa_message(const char* /*file*/, int /*line*/, const char* /*function*/,
                                    int /*error*/, const char* /*format*/, ...) {}

void quiet_alsa() {
    void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);  // only where SDL brought it in
    if (alsa == nullptr) {
        return;
    }
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto* set_handler = reinterpret_cast<int (*)(Handler)>(::dlsym(alsa, "snd_lib_error_set_handler"));
    if (set_handler != nullptr) {
        (void)set_handler(ignore_alsa_message);
    }
}

struct Stream {
    const AudioSource* source = nullptr;
    std::atomic<bool> ended{false};
    std::atomic<std::uint64_t> calls{0};
};

// SDL's audio thread asks for the next block; after the source's end it gets silence.
void on_audio(void* user, Uint8* bytes, int length) {
    Stream& stream = *static_cast<Stream*>(user);
    const std::span<float> out(reinterpret_cast<float*>(bytes),
                               static_cast<std::size_t>(length) / sizeof(float));
    const std::size_t written = stream.ended.load() ? 0 : stream.source->fill(out);
    if (written < out.size()) {
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), 0.0f);
        stream.ended.store(true);
    }
    stream.calls.fetch_add(1);
}

// A device that takes no block for this long has stopped.
constexpr auto silent_device_limit = std::chrono::seconds(2);
constexpr std::uint16_t block_samples = 256;  // about 6 ms at 44100 Hz

}  // namespace

Result<> play_audio(std::int32_t rate_hz, const AudioSource& source) {
    const Result<Sdl> loaded = load_sdl();
    if (!loaded) {
        return Failure(loaded.error());
    }
    const Sdl& sdl = *loaded;
    quiet_alsa();
    // Ctrl+C is the program's to handle, not SDL's.
    sdl.set_hint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (sdl.init_subsystem(SDL_INIT_AUDIO) != 0) {
        return Failure(sdl.get_error());
    }
    Stream stream;
    stream.source = &source;
    SDL_AudioSpec want{};
    want.freq = rate_hz;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = block_samples;
    want.callback = on_audio;
    want.userdata = &stream;
    // No changes allowed: where the device differs, SDL converts the floats for it.
    const SDL_AudioDeviceID device = sdl.open_device(nullptr, 0, &want, nullptr, 0);
    if (device == 0) {
        Failure why(sdl.get_error());
        sdl.quit_subsystem(SDL_INIT_AUDIO);
        return why;
    }
    sdl.pause_device(device, 0);
    // Blocks of silence the device takes after the end before it closes, about a tenth of a
    // second: the blocks are asked for as the system's mixer drains its buffer, so by then the
    // last of the sound has played.
    const std::uint64_t blocks_after_end = 2 + static_cast<std::uint64_t>(rate_hz) / 10 / block_samples;
    Result<> played;
    std::uint64_t seen = 0;
    std::uint64_t end_seen = 0;
    auto last_block = std::chrono::steady_clock::now();
    while (source.keep_going()) {
        const std::uint64_t calls = stream.calls.load();
        const auto now = std::chrono::steady_clock::now();
        if (calls != seen) {
            seen = calls;
            last_block = now;
        } else if (now - last_block > silent_device_limit) {
            played = Failure("the audio device stopped taking samples");
            break;
        }
        if (stream.ended.load()) {
            end_seen = end_seen != 0 ? end_seen : calls;
            if (calls >= end_seen + blocks_after_end) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    sdl.close_device(device);
    sdl.quit_subsystem(SDL_INIT_AUDIO);
    return played;
}

}  // namespace bleepforge::tool
