#include "replay_streams.hpp"

#include <algorithm>

namespace bleepforge::replay {
namespace {

constexpr std::size_t max_songs = 255;

std::string where(std::size_t song, std::size_t frame) {
    return "song " + std::to_string(song + 1) + ", frame " + std::to_string(frame);
}

std::string stream_of(const Frames& song, const FileKind& kind) {
    std::string stream;
    for (const FrameWrites& frame : song.frames) {
        for (const RegisterWrite& w : frame) {
            stream += static_cast<char>(w.address - kind.register_base);
            stream += static_cast<char>(w.value);
        }
        stream += static_cast<char>(kind.end_of_frame);
    }
    stream += static_cast<char>(kind.end_of_sound);
    return stream;
}

Streams refuse(std::string problem) {
    return {{}, std::move(problem)};
}

}  // namespace

Streams streams_of(std::span<const Frames> songs, std::string_view title, const FileKind& kind) {
    const std::string a_file(kind.a_file);
    if (songs.empty() || songs.size() > max_songs) {
        return refuse(a_file + " holds 1 to 255 songs, not " + std::to_string(songs.size()));
    }
    if (title.size() > kind.title_max) {
        return refuse("the title has " + std::to_string(title.size()) + " characters, and " + a_file + " holds " +
                      std::to_string(kind.title_max) + " at most");
    }
    if (!std::all_of(title.begin(), title.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) {
        return refuse("the title holds a character that is not printable ASCII, which " + a_file + "'s title is");
    }
    Streams out;
    for (std::size_t s = 0; s < songs.size(); ++s) {
        if (songs[s].model != kind.model) {
            return refuse("song " + std::to_string(s + 1) + " is not made for " + std::string(kind.console));
        }
        for (std::size_t f = 0; f < songs[s].frames.size(); ++f) {
            const FrameWrites& frame = songs[s].frames[f];
            if (frame.size() > kind.max_frame_writes) {
                return refuse(where(s, f) + " has " + std::to_string(frame.size()) + " writes, and the player makes " +
                              std::to_string(kind.max_frame_writes) + " a frame at most");
            }
            for (const RegisterWrite& w : frame) {
                if (std::string why = kind.refused_write(w); !why.empty()) {
                    return refuse(where(s, f) + " " + why);
                }
            }
        }
        out.streams.push_back(stream_of(songs[s], kind));
    }
    return out;
}

StreamRead read_stream(std::string_view data, std::size_t at, std::size_t song, const FileKind& kind,
                       bool (*readable)(std::uint16_t address)) {
    const std::string which = "song " + std::to_string(song + 1) + "'s ";
    StreamRead read{{kind.model, {}}, 0, {}};
    FrameWrites frame;
    for (;; at += 2) {
        if (at >= data.size()) {
            return {{}, 0, which + "stream runs past the end of the file"};
        }
        const auto index = static_cast<unsigned char>(data[at]);
        if (index == kind.end_of_sound) {
            if (!frame.empty()) {
                return {{}, 0, which + "last frame has no end"};
            }
            read.end = at + 1;
            return read;
        }
        if (index == kind.end_of_frame) {
            read.song.frames.push_back(std::move(frame));
            frame.clear();
            --at;  // the end of a frame is one byte
            continue;
        }
        const auto address = static_cast<std::uint16_t>(kind.register_base + index);
        if (index > kind.end_of_frame || (readable != nullptr && !readable(address)) ||
            at + 1 >= data.size()) {
            return {{}, 0, which + "stream holds a byte the player does not read"};
        }
        frame.push_back({address, static_cast<std::uint8_t>(data[at + 1])});
    }
}

std::size_t size_of(const std::vector<std::string>& streams) {
    std::size_t size = 0;
    for (const std::string& stream : streams) {
        size += stream.size();
    }
    return size;
}

std::string hex4(unsigned v) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {'$', digits[(v >> 12U) & 15U], digits[(v >> 8U) & 15U], digits[(v >> 4U) & 15U], digits[v & 15U]};
}

void put16(std::string& bytes, std::size_t at, std::uint16_t v) {
    bytes[at] = static_cast<char>(v & 0xFFU);
    bytes[at + 1] = static_cast<char>(v >> 8U);
}

std::uint16_t get16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8U));
}

}  // namespace bleepforge::replay
