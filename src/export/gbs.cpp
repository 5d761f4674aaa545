#include "bleepforge/gbs.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "gb_player.hpp"
#include "replay_streams.hpp"

namespace bleepforge {
namespace {

using replay::get16;
using replay::put16;
using replay::read_stream;
using replay::StreamRead;

// The GBS header's fields (version 1).
constexpr std::size_t header_size = 0x70;
constexpr std::string_view magic{"GBS\x01", 4};  // and version 1
constexpr std::size_t songs_at = 0x04;
constexpr std::size_t first_song_at = 0x05;
constexpr std::size_t load_at = 0x06;
constexpr std::size_t init_at = 0x08;
constexpr std::size_t play_at = 0x0A;
constexpr std::size_t stack_at = 0x0C;
constexpr std::size_t timer_modulo_at = 0x0E;
constexpr std::size_t timer_control_at = 0x0F;
constexpr std::size_t title_at = 0x10;
constexpr std::size_t text_size = 32;
// Without bank switching the data runs from the load address to the end of ROM bank 1 at $7FFF.
constexpr std::size_t max_data = 0x8000 - gb_player::load_address;

// The addresses our player writes: the sound registers and wave RAM ("Audio Registers"), but the two
// unused $FF15 and $FF1F. Their index, address - $FF00, leaves bit 7 free for the stream's ends.
bool sound_register(std::uint16_t address) {
    return (address >= 0xFF10 && address <= 0xFF26 && address != 0xFF15 && address != 0xFF1F) ||
           (address >= 0xFF30 && address <= 0xFF3F);
}

std::string refused_write(const RegisterWrite& w) {
    return sound_register(w.address) ? std::string()
                                     : "writes " + replay::hex4(w.address) +
                                           ", and a GBS's sound writes go to $FF10-$FF26 (but $FF15 and $FF1F) and "
                                           "$FF30-$FF3F only";
}

constexpr replay::FileKind gbs_kind{"a GBS",
                                    "the Game Boy",
                                    HardwareModel::gameboy,
                                    gbs_title_max,
                                    0xFF00,
                                    gb_player::end_of_frame,
                                    gb_player::end_of_sound,
                                    gb_player::max_frame_writes,
                                    refused_write};

ConsoleFile refuse(std::string problem) {
    return {{}, std::move(problem)};
}

}  // namespace

ConsoleFile gbs_file(std::span<const Frames> songs, std::string_view title) {
    replay::Streams made = replay::streams_of(songs, title, gbs_kind);
    if (!made.problem.empty()) {
        return refuse(std::move(made.problem));
    }
    const std::vector<std::string>& streams = made.streams;

    // After the code: the table of the streams' addresses, then the streams.
    const std::size_t streams_at = gb_player::code.size() + 2 * songs.size();
    const std::size_t data_size = streams_at + replay::size_of(streams);
    if (data_size > max_data) {
        return refuse("the songs need " + std::to_string(data_size) + " bytes with the player, and a GBS " +
                      "without bank switching holds " + std::to_string(max_data) + " ($0400-$7FFF)");
    }

    std::string bytes(header_size + streams_at, '\0');
    std::copy(magic.begin(), magic.end(), bytes.begin());
    bytes[songs_at] = static_cast<char>(songs.size());
    bytes[first_song_at] = 1;
    put16(bytes, load_at, gb_player::load_address);
    put16(bytes, init_at, gb_player::init_address);
    put16(bytes, play_at, gb_player::play_address);
    put16(bytes, stack_at, gb_player::stack_pointer);
    bytes[timer_modulo_at] = 0;  // with TAC bit 2 clear, PLAY runs at the vertical blank
    bytes[timer_control_at] = 0;
    std::copy(title.begin(), title.end(), bytes.begin() + title_at);
    // Author and copyright stay NUL.

    std::copy(gb_player::code.begin(), gb_player::code.end(), bytes.begin() + header_size);
    std::size_t stream_at = streams_at;
    for (std::size_t s = 0; s < streams.size(); ++s) {
        put16(bytes, header_size + gb_player::code.size() + 2 * s,
              static_cast<std::uint16_t>(gb_player::load_address + stream_at));
        bytes += streams[s];
        stream_at += streams[s].size();
    }
    return {std::move(bytes), {}};
}

GbsSongs read_gbs(std::string_view bytes) {
    GbsSongs read;
    const std::string_view code(reinterpret_cast<const char*>(gb_player::code.data()), gb_player::code.size());
    if (bytes.size() < header_size + code.size() || bytes.substr(0, magic.size()) != magic) {
        read.problem = "not a GBS version 1 file";
        return read;
    }
    if (get16(bytes, load_at) != gb_player::load_address || get16(bytes, init_at) != gb_player::init_address ||
        get16(bytes, play_at) != gb_player::play_address || get16(bytes, stack_at) != gb_player::stack_pointer ||
        bytes[timer_modulo_at] != 0 || bytes[timer_control_at] != 0 || bytes.substr(header_size, code.size()) != code) {
        read.problem = "a GBS with another player than Bleepforge's; only the frames of its own can be read";
        return read;
    }
    const std::size_t count = static_cast<unsigned char>(bytes[songs_at]);
    const std::string_view data = bytes.substr(header_size);
    if (count == 0 || bytes[first_song_at] != 1 || code.size() + 2 * count > data.size()) {
        read.problem = "the GBS's table of songs does not match its count of songs";
        return read;
    }
    // As gbs_file lays them out: the first stream right after the table, each next one right after the
    // one before, and nothing after the last.
    std::size_t next_stream = code.size() + 2 * count;
    for (std::size_t s = 0; s < count; ++s) {
        const std::uint16_t address = get16(data, code.size() + 2 * s);
        if (address != gb_player::load_address + next_stream) {
            read.problem = "the GBS's table of songs does not match its count of songs";
            return read;
        }
        StreamRead stream = read_stream(data, next_stream, s, gbs_kind, sound_register);
        if (!stream.problem.empty()) {
            read.problem = std::move(stream.problem);
            return read;
        }
        next_stream = stream.end;
        read.songs.push_back(std::move(stream.song));
    }
    if (next_stream != data.size()) {
        read.problem = "the GBS holds bytes after its last song's stream";
        return read;
    }
    // The title as gbs_file writes it, NUL-padded; author and copyright empty.
    const std::string_view texts = bytes.substr(title_at, 3 * text_size);
    const std::size_t title_end = std::min(texts.find('\0'), text_size);
    if (!std::all_of(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(title_end),
                     [](char c) { return c >= 0x20 && c <= 0x7E; }) ||
        !std::all_of(texts.begin() + static_cast<std::ptrdiff_t>(title_end), texts.end(), [](char c) { return c == 0; })) {
        read.problem = "the GBS's title is not printable ASCII, or it has an author or copyright, which Bleepforge's "
                       "leave empty";
        return read;
    }
    read.title = std::string(texts.substr(0, title_end));
    return read;
}

}  // namespace bleepforge
