#include "bleepforge/nsf.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "nes_player.hpp"
#include "replay_streams.hpp"

namespace bleepforge {
namespace {

using replay::get16;
using replay::put16;
using replay::read_stream;
using replay::StreamRead;

// "NSF" on the NESdev wiki: the header's fields.
constexpr std::size_t header_size = 0x80;
constexpr std::string_view magic{"NESM\x1A\x01", 6};  // and version 1
constexpr std::size_t songs_at = 0x06;
constexpr std::size_t start_song_at = 0x07;
constexpr std::size_t load_at = 0x08;
constexpr std::size_t init_at = 0x0A;
constexpr std::size_t play_at = 0x0C;
constexpr std::size_t title_at = 0x0E;
constexpr std::size_t artist_at = 0x2E;
constexpr std::size_t copyright_at = 0x4E;
constexpr std::size_t text_size = 32;
constexpr std::size_t ntsc_period_at = 0x6E;
constexpr std::size_t banks_at = 0x70;
constexpr std::size_t pal_period_at = 0x78;
constexpr std::uint16_t ntsc_period_us = 16639;  // 60.0988 Hz, the NTSC frame rate
constexpr std::uint16_t pal_period_us = 19997;   // unused by an NTSC file; the value suggested
constexpr std::string_view unknown_text = "<?>";
// Without bank switching the data runs from $8000 up to the CPU's vectors at $FFFA.
constexpr std::size_t max_data = 0xFFFA - nes_player::load_address;

// Why the write cannot be in an NSF, or nothing.
std::string refused_write(const RegisterWrite& w) {
    if (w.address < 0x4000 || w.address > 0x4015 || w.address == 0x4014) {
        return "writes " + replay::hex4(w.address) + ", and an NSF's sound writes go to $4000-$4013 and $4015 only";
    }
    if (w.address == 0x4010 && (w.value & 0x80U) != 0) {
        return "sets bit 7 of $4010, the DMC's interrupt, which an NSF must leave clear";
    }
    if (w.address == 0x4015 && (w.value & 0x10U) != 0) {
        return "sets bit 4 of $4015, DMC sample playback, which the model does not play";
    }
    return {};
}

void put_text(std::string& bytes, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

constexpr replay::FileKind nsf_kind{"an NSF",
                                    "the NES",
                                    HardwareModel::nes,
                                    nsf_title_max,
                                    0x4000,
                                    nes_player::end_of_frame,
                                    nes_player::end_of_sound,
                                    nes_player::max_frame_writes,
                                    refused_write};

ConsoleFile refuse(std::string problem) {
    return {{}, std::move(problem)};
}

}  // namespace

ConsoleFile nsf_file(std::span<const Frames> songs, std::string_view title) {
    replay::Streams made = replay::streams_of(songs, title, nsf_kind);
    if (!made.problem.empty()) {
        return refuse(std::move(made.problem));
    }
    const std::vector<std::string>& streams = made.streams;

    // After the code: the two tables' addresses, the low bytes' table, the high bytes' table, streams.
    const std::size_t tables_at = nes_player::code.size();
    const std::size_t lows_at = tables_at + 4;
    const std::size_t highs_at = lows_at + songs.size();
    const std::size_t streams_at = highs_at + songs.size();
    const std::size_t data_size = streams_at + replay::size_of(streams);
    if (data_size > max_data) {
        return refuse("the songs need " + std::to_string(data_size) + " bytes with the player, and an NSF " +
                      "without bank switching holds " + std::to_string(max_data) + " ($8000-$FFF9)");
    }

    std::string bytes(header_size + streams_at, '\0');
    put_text(bytes, 0, magic);
    bytes[songs_at] = static_cast<char>(songs.size());
    bytes[start_song_at] = 1;
    put16(bytes, load_at, nes_player::load_address);
    put16(bytes, init_at, nes_player::init_address);
    put16(bytes, play_at, nes_player::play_address);
    put_text(bytes, title_at, title.empty() ? unknown_text : title);
    put_text(bytes, artist_at, unknown_text);
    put_text(bytes, copyright_at, unknown_text);
    put16(bytes, ntsc_period_at, ntsc_period_us);
    put16(bytes, pal_period_at, pal_period_us);
    // Bank-switch values, region (NTSC), expansion sound and the NSF2 fields stay 0.

    std::copy(nes_player::code.begin(), nes_player::code.end(), bytes.begin() + header_size);
    auto address = [](std::size_t offset) {
        return static_cast<std::uint16_t>(nes_player::load_address + offset);
    };
    put16(bytes, header_size + tables_at, address(lows_at));
    put16(bytes, header_size + tables_at + 2, address(highs_at));
    std::size_t stream_at = streams_at;
    for (std::size_t s = 0; s < streams.size(); ++s) {
        const std::uint16_t stream_address = address(stream_at);
        bytes[header_size + lows_at + s] = static_cast<char>(stream_address & 0xFFU);
        bytes[header_size + highs_at + s] = static_cast<char>(stream_address >> 8U);
        bytes += streams[s];
        stream_at += streams[s].size();
    }
    return {std::move(bytes), {}};
}

NsfSongs read_nsf(std::string_view bytes) {
    NsfSongs read;
    const std::size_t tables_at = header_size + nes_player::code.size();
    const std::string_view code(reinterpret_cast<const char*>(nes_player::code.data()),
                                nes_player::code.size());
    if (bytes.size() < tables_at + 4 || bytes.substr(0, magic.size()) != magic) {
        read.problem = "not an NSF version 1 file";
        return read;
    }
    if (get16(bytes, load_at) != nes_player::load_address ||
        get16(bytes, init_at) != nes_player::init_address ||
        get16(bytes, play_at) != nes_player::play_address || bytes.substr(header_size, code.size()) != code ||
        std::any_of(bytes.begin() + banks_at, bytes.begin() + banks_at + 8, [](char c) { return c != 0; })) {
        read.problem = "an NSF with another player than Bleepforge's; only the frames of its own can be read";
        return read;
    }
    const std::size_t count = static_cast<unsigned char>(bytes[songs_at]);
    const std::string_view data = bytes.substr(header_size);
    auto offset_of = [&](std::uint16_t address) -> std::size_t {
        return address >= nes_player::load_address ? address - nes_player::load_address : data.size();
    };
    // As nsf_file lays them out: right after the tables' addresses, the lows and then the highs.
    const std::size_t lows = offset_of(get16(data, nes_player::code.size()));
    const std::size_t highs = offset_of(get16(data, nes_player::code.size() + 2));
    if (count == 0 || lows != nes_player::code.size() + 4 || highs != lows + count ||
        highs + count > data.size()) {
        read.problem = "the NSF's tables of songs do not match its count of songs";
        return read;
    }
    for (std::size_t s = 0; s < count; ++s) {
        const auto address = static_cast<std::uint16_t>(static_cast<unsigned char>(data[lows + s]) |
                                                        (static_cast<unsigned char>(data[highs + s]) << 8U));
        StreamRead stream = read_stream(data, offset_of(address), s, nsf_kind);
        if (!stream.problem.empty()) {
            read.problem = std::move(stream.problem);
            return read;
        }
        read.songs.push_back(std::move(stream.song));
    }
    const std::string_view field = bytes.substr(title_at, text_size);
    read.title = std::string(field.substr(0, field.find('\0')));
    if (read.title == unknown_text) {
        read.title.clear();
    }
    return read;
}

}  // namespace bleepforge
