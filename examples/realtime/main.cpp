// Plays a sound file through the audio device, pulling it from a voice in SDL's audio callback:
// nothing is rendered ahead, nothing is allocated or locked while it plays.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <bleepforge/bleepforge.hpp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

namespace {

struct Playback {
    bleepforge::Voice voice;
    std::atomic<bool> done{false};
};

// SDL asks for the next block of float samples; the voice writes what it has and silence follows.
// Done at the first block of silence alone: the block that ended the sound is with the device by then.
void pull(void* user, Uint8* stream, int bytes) {
    auto& playback = *static_cast<Playback*>(user);
    const std::span<float> out(reinterpret_cast<float*>(stream),
                               static_cast<std::size_t>(bytes) / sizeof(float));
    const std::size_t written = bleepforge::render_voice(playback.voice, out);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), 0.0f);
    if (written == 0) {
        playback.done = true;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOUND.bleep\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const bleepforge::SoundReading reading = bleepforge::read_sound(text);
    if (!reading.sound) {
        for (const bleepforge::SoundProblem& problem : reading.problems) {
            std::fprintf(stderr, "%s\n", bleepforge::describe(problem, argv[1]).c_str());
        }
        return 1;
    }

    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "no audio: %s\n", SDL_GetError());
        return 1;
    }
    constexpr int rate_hz = 44100;
    Playback playback{bleepforge::start_sound(*reading.sound, rate_hz)};
    SDL_AudioSpec want{};
    want.freq = rate_hz;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = 256;
    want.callback = pull;
    want.userdata = &playback;
    // No changes allowed: where the device differs, SDL converts our floats for it.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device == 0) {
        std::fprintf(stderr, "no audio device: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    std::printf("playing %s: %zu samples at %d Hz\n", argv[1], bleepforge::samples_left(playback.voice),
                rate_hz);
    SDL_PauseAudioDevice(device, 0);
    while (!playback.done) {
        SDL_Delay(5);
    }
    SDL_Delay(100);  // what the device still holds plays out before it closes
    SDL_CloseAudioDevice(device);
    SDL_Quit();
    return 0;
}
