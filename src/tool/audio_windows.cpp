// Windows: the system's own waveform audio (winmm.dll), so bleep.exe needs nothing beside it. The
// library is loaded when a sound is first played, so the other commands never start the system's
// audio. The blocks are written from this thread: a few in flight, each refilled as the device
// returns it.
#include <windows.h>
// After windows.h, which it needs.
#include <mmreg.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "audio.hpp"

namespace bleepforge::tool {
namespace {

constexpr std::size_t block_samples = 512;  // about 12 ms at 44100 Hz
constexpr std::size_t block_count = 4;
constexpr auto silent_device_limit = std::chrono::seconds(2);

constexpr std::string_view wave_unavailable = "the system's waveform audio (winmm.dll) cannot be loaded";

// The functions used, found by name in winmm.dll.
struct Wave {
    decltype(&::waveOutGetNumDevs) get_num_devs = nullptr;
    decltype(&::waveOutGetErrorTextA) get_error_text = nullptr;
    decltype(&::waveOutOpen) open = nullptr;
    decltype(&::waveOutPrepareHeader) prepare = nullptr;
    decltype(&::waveOutUnprepareHeader) unprepare = nullptr;
    decltype(&::waveOutWrite) write = nullptr;
    decltype(&::waveOutReset) reset = nullptr;
    decltype(&::waveOutClose) close = nullptr;
};

// The functions, or why the system's waveform audio cannot be used.
Result<Wave> load_wave() {
    const HMODULE library = ::LoadLibraryW(L"winmm.dll");
    if (library == nullptr) {
        return Failure(std::string(wave_unavailable));
    }
    Wave wave;
    bool complete = true;
    auto find = [&](auto& function, const char* name) {
        // GetProcAddress gives every function as one pointer type; the name says which it is.
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void*>(::GetProcAddress(library, name)));
        complete = complete && function != nullptr;
    };
    find(wave.get_num_devs, "waveOutGetNumDevs");
    find(wave.get_error_text, "waveOutGetErrorTextA");
    find(wave.open, "waveOutOpen");
    find(wave.prepare, "waveOutPrepareHeader");
    find(wave.unprepare, "waveOutUnprepareHeader");
    find(wave.write, "waveOutWrite");
    find(wave.reset, "waveOutReset");
    find(wave.close, "waveOutClose");
    if (!complete) {
        return Failure(std::string(wave_unavailable));
    }
    return wave;
}

std::string wave_error(const Wave& wave, MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    if (wave.get_error_text(result, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
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

// Samples into a block, as floats or as the 16-bit samples an older device takes.
void put_samples(WAVEHDR& block, std::span<const float> samples, const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        std::memcpy(block.lpData, samples.data(), samples.size() * sizeof(float));
    } else {
        std::transform(samples.begin(), samples.end(), reinterpret_cast<std::int16_t*>(block.lpData),
                       to_pcm16);
    }
    block.dwBufferLength = static_cast<DWORD>(samples.size() * format.nBlockAlign);
}

// The default device, open for floats or, where it refuses them, for 16-bit samples.
struct WaveOutput {
    HWAVEOUT device = nullptr;
    WAVEFORMATEX format{};
};

Result<WaveOutput> open_output(const Wave& wave, std::int32_t rate_hz) {
    if (wave.get_num_devs() == 0) {
        return Failure("no audio device");
    }
    WaveOutput output{nullptr, format_of(rate_hz, true)};
    MMRESULT opened = wave.open(&output.device, WAVE_MAPPER, &output.format, 0, 0, CALLBACK_NULL);
    if (opened == WAVERR_BADFORMAT) {
        output.format = format_of(rate_hz, false);
        opened = wave.open(&output.device, WAVE_MAPPER, &output.format, 0, 0, CALLBACK_NULL);
    }
    if (opened != MMSYSERR_NOERROR) {
        return Failure(wave_error(wave, opened));
    }
    return output;
}

// Every block free to fill, each with room for block_samples samples of the format.
void free_blocks(std::array<std::vector<char>, block_count>& memory, std::array<WAVEHDR, block_count>& blocks,
                 const WAVEFORMATEX& format) {
    for (std::size_t i = 0; i < block_count; ++i) {
        memory[i].resize(block_samples * format.nBlockAlign);
        blocks[i].lpData = memory[i].data();
        blocks[i].dwFlags = WHDR_DONE;
    }
}

// Stops the device, takes back the blocks it still holds and closes it.
void close_output(const Wave& wave, HWAVEOUT device, std::array<WAVEHDR, block_count>& blocks,
                  const std::array<bool, block_count>& in_flight) {
    wave.reset(device);
    for (std::size_t i = 0; i < block_count; ++i) {
        if (in_flight[i]) {
            wave.unprepare(device, &blocks[i], sizeof blocks[i]);
        }
    }
    wave.close(device);
}

}  // namespace

Result<> play_audio(std::int32_t rate_hz, const AudioSource& source) {
    const Result<Wave> loaded = load_wave();
    if (!loaded) {
        return Failure(loaded.error());
    }
    const Wave& wave = *loaded;
    const Result<WaveOutput> opened = open_output(wave, rate_hz);
    if (!opened) {
        return Failure(opened.error());
    }
    const HWAVEOUT device = opened->device;
    const WAVEFORMATEX& format = opened->format;
    std::vector<float> samples(block_samples);
    std::array<std::vector<char>, block_count> memory;
    std::array<WAVEHDR, block_count> blocks{};
    free_blocks(memory, blocks, format);
    std::array<bool, block_count> in_flight{};
    Result<> played;
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
                wave.unprepare(device, &block, sizeof block);
            }
            const std::size_t written = ended ? 0 : source.fill(samples);
            ended = ended || written < samples.size();
            if (written == 0) {
                continue;
            }
            put_samples(block, std::span(samples).first(written), format);
            block.dwFlags = 0;
            wave.prepare(device, &block, sizeof block);
            wave.write(device, &block, sizeof block);
            in_flight[i] = true;
            busy = true;
        }
        if (ended && !busy) {
            break;  // every block played
        }
        if (busy && now - last_return > silent_device_limit) {
            played = Failure("the audio device stopped taking samples");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close_output(wave, device, blocks, in_flight);
    return played;
}

}  // namespace bleepforge::tool
