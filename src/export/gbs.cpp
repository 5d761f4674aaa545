#include "bleepforge/gbs.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "gb_player.hpp"

namespace bleepforge {
namespace {

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
constexpr std::size_t max_songs = 255;
// Without bank switching the data runs from the load address to the end of ROM bank 1 at $7FFF.
constexpr std::size_t max_data = 0x8000 - gb_player::load_address;

std::string hex4(unsigned v) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {'$', digits[(v >> 12U) & 15U], digits[(v >> 8U) & 15U], digits[(v >> 4U) & 15U], digits[v & 15U]};
}

std::string where(std::size_t song, std::size_t frame) {
    return "song " + std::to_string(song + 1) + ", frame " + std::to_string(frame);
}

// The addresses our player writes: the sound registers and wave RAM ("Audio Registers"), but the two
// unused $FF15 and $FF1F. Their index, address - $FF00, leaves bit 7 free for the stream's ends.
bool sound_register(std::uint16_t address) {
    return (address >= 0xFF10 && address <= 0xFF26 && address != 0xFF15 && address != 0xFF1F) ||
           (address >= 0xFF30 && address <= 0xFF3F);
}

void put16(std::string& bytes, std::size_t at, std::uint16_t v) {
    bytes[at] = static_cast<char>(v & 0xFFU);
    bytes[at + 1] = static_cast<char>(v >> 8U);
}

std::uint16_t get16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8U));
}

std::string stream_of(const Frames& song) {
    std::string stream;
    for (const FrameWrites& frame : song.frames) {
        for (const RegisterWrite& w : frame) {
            stream += static_cast<char>(w.address - 0xFF00);
            stream += static_cast<char>(w.value);
        }
        stream += static_cast<char>(gb_player::end_of_frame);
    }
    stream += static_cast<char>(gb_player::end_of_sound);
    return stream;
}

ConsoleFile refuse(std::string problem) {
    return {{}, std::move(problem)};
}

}  // namespace

ConsoleFile gbs_file(std::span<const Frames> songs, std::string_view title) {
    if (songs.empty() || songs.size() > max_songs) {
        return refuse("a GBS holds 1 to 255 songs, not " + std::to_string(songs.size()));
    }
    if (title.size() > gbs_title_max) {
        return refuse("the title has " + std::to_string(title.size()) + " characters, and a GBS holds " +
                      std::to_string(gbs_title_max) + " at most");
    }
    if (!std::all_of(title.begin(), title.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) {
        return refuse("the title holds a character that is not printable ASCII, which a GBS's title is");
    }
    std::vector<std::string> streams;
    for (std::size_t s = 0; s < songs.size(); ++s) {
        if (songs[s].model != HardwareModel::gameboy) {
            return refuse("song " + std::to_string(s + 1) + " is not made for the Game Boy");
        }
        for (std::size_t f = 0; f < songs[s].frames.size(); ++f) {
            const FrameWrites& frame = songs[s].frames[f];
            if (frame.size() > gb_player::max_frame_writes) {
                return refuse(where(s, f) + " has " + std::to_string(frame.size()) +
                              " writes, and the player makes 127 a frame at most");
            }
            for (const RegisterWrite& w : frame) {
                if (!sound_register(w.address)) {
                    return refuse(where(s, f) + " writes " + hex4(w.address) +
                                  ", and a GBS's sound writes go to $FF10-$FF26 (but $FF15 and $FF1F) and "
                                  "$FF30-$FF3F only");
                }
            }
        }
        streams.push_back(stream_of(songs[s]));
    }

    // After the code: the table of the streams' addresses, then the streams.
    const std::size_t streams_at = gb_player::code.size() + 2 * songs.size();
    std::size_t data_size = streams_at;
    for (const std::string& stream : streams) {
        data_size += stream.size();
    }
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
        Frames song{HardwareModel::gameboy, {}};
        FrameWrites frame;
        std::size_t at = next_stream;
        for (;; at += 2) {
            if (at >= data.size()) {
                read.problem = "song " + std::to_string(s + 1) + "'s stream runs past the end of the file";
                return read;
            }
            const auto index = static_cast<unsigned char>(data[at]);
            if (index == gb_player::end_of_sound) {
                if (!frame.empty()) {
                    read.problem = "song " + std::to_string(s + 1) + "'s last frame has no end";
                    return read;
                }
                next_stream = at + 1;
                break;
            }
            if (index == gb_player::end_of_frame) {
                song.frames.push_back(std::move(frame));
                frame.clear();
                --at;  // the end of a frame is one byte
                continue;
            }
            const auto address_written = static_cast<std::uint16_t>(0xFF00 + index);
            if (!sound_register(address_written) || at + 1 >= data.size()) {
                read.problem = "song " + std::to_string(s + 1) + "'s stream holds a byte the player does not read";
                return read;
            }
            frame.push_back({address_written, static_cast<std::uint8_t>(data[at + 1])});
        }
        read.songs.push_back(std::move(song));
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
