#pragma once

// The commands that run until they are done or stopped: play and watch.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "bleepforge/synth.hpp"
#include "command.hpp"

namespace bleepforge::tool {

[[nodiscard]] int command_play(const Command& command, const Arguments& a);
[[nodiscard]] int command_watch(const Command& command, const Arguments& a);

// Voices handed from the program's thread to the audio thread, which never waits for them: it takes
// a voice offered only when it can without blocking, and plays silence while it has none.
class Player {
public:
    // How an offered voice starts: after the one sounding and a short gap, or at once, cutting it.
    enum class Start : std::uint8_t { after, now };

    explicit Player(std::size_t gap_samples) : gap_samples_(gap_samples) {}

    // The program's side. Replaces a voice offered and not yet taken.
    void offer(const Voice& voice, Start start);
    [[nodiscard]] bool offer_taken() const { return pending_.load() == 0; }
    // How many offered voices the audio thread has started.
    [[nodiscard]] std::uint64_t started() const { return started_.load(); }
    // Whether the stream ends once the last voice has played (else silence follows).
    void set_ending(bool ending) { ending_.store(ending); }

    // The audio thread's side: AudioSource::fill.
    [[nodiscard]] std::size_t fill(std::span<float> out);

private:
    std::size_t gap_samples_;
    std::mutex slot_mutex_;  // held by the program while it writes the slot, tried by the audio thread
    Voice slot_;
    std::atomic<int> pending_{0};  // 0, or the Start of the voice in the slot plus one
    std::atomic<std::uint64_t> started_{0};
    std::atomic<bool> ending_{false};
    // The audio thread's own.
    Voice current_;
    bool sounding_ = false;
    std::size_t gap_left_ = 0;
};

}  // namespace bleepforge::tool
