// Windows: the system's own waveform audio (winmm.dll), so bleep.exe needs nothing beside it. The
// blocks are written from this thread: a few in flight, each refilled as the device returns it.
#include <windows.h>
// After windows.h, which it needs.
#include <mmreg.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "audio.hpp"

namespace bleepforge::tool {
namespace {

constexpr std::size_t block_samples = 512;  // about 12 ms at 44100 Hz
constexpr std::size_t block_count = 4;
constexpr auto silent_device_limit = std::chrono::seconds(2);

std::string wave_error(MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    if (::waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
        return "waveform audio error " + std::to_string(result);
    }
    return text;
}

WAVEFORMATEX format_of(std::int32_t rate_hz, bool floats) {
    WAVEFORMATEX format{};
    format.wFormatTag = floats ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = static_cast<DWORD>(rate_hz);
    format.wBitsPerSample = floats ? 32 : 16;
    format.nBlockAlign = static_cast<WORD>(format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

// One float as the 16-bit sample an older device takes instead.
std::int16_t to_pcm16(float sample) {
    const float clipped = std::clamp(sample, -1.0f, 1.0f);
    return static_cast<std::int16_t>(clipped * 32767.0f);
}

}  // namespace

std::string play_audio(std::int32_t rate_hz, const AudioSource& source) {
    if (::waveOutGetNumDevs() == 0) {
        return "no audio device";
    }
    HWAVEOUT device = nullptr;
    bool floats = true;
    WAVEFORMATEX format = format_of(rate_hz, floats);
    MMRESULT opened = ::waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened == WAVERR_BADFORMAT) {
        floats = false;
        format = format_of(rate_hz, floats);
        opened = ::waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    }
    if (opened != MMSYSERR_NOERROR) {
        return wave_error(opened);
    }
    std::vector<float> samples(block_samples);
    std::array<std::vector<char>, block_count> memory;
    std::array<WAVEHDR, block_count> blocks{};
    for (std::size_t i = 0; i < block_count; ++i) {
        memory[i].resize(block_samples * format.nBlockAlign);
        blocks[i].lpData = memory[i].data();
        blocks[i].dwFlags = WHDR_DONE;  // free to fill
    }
    std::array<bool, block_count> in_flight{};
    std::string why;
    bool ended = false;
    auto last_return = std::chrono::steady_clock::now();
    while (source.keep_going()) {
        const auto now = std::chrono::steady_clock::now();
        bool busy = false;
        for (std::size_t i = 0; i < block_count; ++i) {
            WAVEHDR& block = blocks[i];
            if ((block.dwFlags & WHDR_DONE) == 0) {
                busy = true;
                continue;
            }
            if (in_flight[i]) {
                in_flight[i] = false;
                last_return = now;
                ::waveOutUnprepareHeader(device, &block, sizeof block);
            }
            const std::size_t written = ended ? 0 : source.fill(samples);
            ended = ended || written < samples.size();
            if (written == 0) {
                continue;
            }
            if (floats) {
                std::memcpy(block.lpData, samples.data(), written * sizeof(float));
            } else {
                auto* out = reinterpret_cast<std::int16_t*>(block.lpData);
                std::transform(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(written), out,
                               to_pcm16);
            }
            block.dwBufferLength = static_cast<DWORD>(written * format.nBlockAlign);
            block.dwFlags = 0;
            ::waveOutPrepareHeader(device, &block, sizeof block);
            ::waveOutWrite(device, &block, sizeof block);
            in_flight[i] = true;
            busy = true;
        }
        if (ended && !busy) {
            break;  // every block played
        }
        if (busy && now - last_return > silent_device_limit) {
            why = "the audio device stopped taking samples";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::waveOutReset(device);
    for (std::size_t i = 0; i < block_count; ++i) {
        if (in_flight[i]) {
            ::waveOutUnprepareHeader(device, &blocks[i], sizeof blocks[i]);
        }
    }
    ::waveOutClose(device);
    return why;
}

}  // namespace bleepforge::tool
