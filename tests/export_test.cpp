#include "bleepforge/export.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "test_files.hpp"

namespace bleepforge {
namespace {

using testing_support::exists;
using testing_support::read_file;
using testing_support::TempPath;

TEST(FloatToPcm16, ClipsScalesInSinglePrecisionAndTruncates) {
    const struct {
        float in;
        std::int16_t out;
    } cases[] = {
        {1.5f, 32767},
        {1.0f, 32767},
        {-1.0f, -32767},
        {-1.5f, -32767},  // never -32768
        {std::nextafter(1.0f, 0.0f), 32766},
        {0.5f, 16383},
        {-0.5f, -16383},  // toward zero, not down
        // 32769/65536 * 32767 is 16383.99997 in double but rounds to 16384.0f in float.
        {32769.0f / 65536.0f, 16384},
        {32769.0f / 131072.0f, 8192},
        {0.000001f, 0},
        {-0.000001f, 0},
        {0.0f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 32767},
        {-std::numeric_limits<float>::infinity(), -32767},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(float_to_pcm16(c.in), c.out) << c.in;
    }
}

// The canonical header, written out by hand from the format's field table.
std::string wav_header(std::uint32_t riff_size, std::uint32_t rate, std::uint32_t data_size) {
    auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    };
    return "RIFF" + le32(riff_size) + "WAVE" + "fmt " + le32(16) + std::string("\x01\x00\x01\x00", 4) +
           le32(rate) + le32(2 * rate) + std::string("\x02\x00\x10\x00", 4) + "data" + le32(data_size);
}

TEST(WriteWav, WritesTheWorkedExamplesByteForByte) {
    TempPath path("out.wav");
    ASSERT_TRUE(write_wav(path.str(), SampleBuffer{0.5f, -0.5f, -2.0f}, 44100));
    EXPECT_EQ(read_file(path.str()), wav_header(42, 44100, 6) + std::string("\xFF\x3F\x01\xC0\x01\x80", 6));

    ASSERT_TRUE(write_wav(path.str(), SampleBuffer{}, 44100));  // replaces the longer file
    EXPECT_EQ(read_file(path.str()), wav_header(36, 44100, 0));

    ASSERT_TRUE(write_wav(path.str(), SampleBuffer{0.25f}, 22050));
    EXPECT_EQ(read_file(path.str()), wav_header(38, 22050, 2) + std::string("\xFF\x1F", 2));

    // The program's own size: 22050 samples, 44144 bytes; the bytes from the format table.
    ASSERT_TRUE(write_wav(path.str(), SampleBuffer(22050, 1.0f), 44100));
    const std::string bytes = read_file(path.str());
    ASSERT_EQ(bytes.size(), 44144U);
    const unsigned char expected_header[44] = {
        0x52, 0x49, 0x46, 0x46, 0x68, 0xAC, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
        0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x88, 0x58,
        0x01, 0x00, 0x02, 0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x44, 0xAC, 0x00, 0x00};
    EXPECT_EQ(bytes.substr(0, 44), std::string(reinterpret_cast<const char*>(expected_header), 44));
    EXPECT_EQ(bytes.substr(44, 4), std::string("\xFF\x7F\xFF\x7F", 4));
    EXPECT_EQ(bytes.substr(44142), std::string("\xFF\x7F", 2));
}

TEST(WriteWav, WritesEightBitAndFloatFilesAsGameEnginesReadThem) {
    const SampleBuffer worked{0.5f, -0.5f, -2.0f, 1.0f, std::nanf(""), -0.004f, 0.0f};
    // 8-bit: 128 + trunc(127 x) after the clip, NaN as silence; odd data ends in a pad byte.
    const std::optional<std::string> eight = wav_bytes(worked, 8000, WavFormat::u8);
    ASSERT_TRUE(eight);
    const std::string pcm8("\xBF\x41\x01\xFF\x80\x80\x80", 7);
    EXPECT_EQ(eight->substr(44), pcm8 + std::string(1, '\0'));
    EXPECT_EQ(eight->substr(0, 4) + eight->substr(8, 8), "RIFFWAVEfmt ");
    EXPECT_EQ(eight->substr(4, 4), std::string("\x2C\x00\x00\x00", 4));  // 36 + 7 + the pad
    EXPECT_EQ(eight->substr(32, 12), std::string("\x01\x00\x08\x00"
                                                 "data\x07\x00\x00\x00",
                                                 12));
    EXPECT_EQ(wav_bytes(SampleBuffer{0.5f, -0.5f}, 8000, WavFormat::u8)->size(), 46U);  // even: no pad

    // Float: format tag 3 in an 18-byte format chunk, the fact chunk, then the floats' own bits.
    const std::optional<std::string> floats = wav_bytes(worked, 8000, WavFormat::f32);
    ASSERT_TRUE(floats);
    ASSERT_EQ(floats->size(), 58U + 4 * worked.size());
    const unsigned char float_header[58] = {
        'R', 'I', 'F', 'F', 78,   0,    0, 0, 'W',  'A',  'V', 'E', 'f', 'm', 't', ' ', 18, 0, 0,   0,
        3,   0,   1,   0,   0x40, 0x1F, 0, 0, 0x00, 0x7D, 0,   0,   4,   0,   32,  0,   0,  0, 'f', 'a',
        'c', 't', 4,   0,   0,    0,    7, 0, 0,    0,    'd', 'a', 't', 'a', 28,  0,   0,  0};
    EXPECT_EQ(floats->substr(0, 58), std::string(reinterpret_cast<const char*>(float_header), 58));
    EXPECT_EQ(floats->substr(58),
              std::string(reinterpret_cast<const char*>(worked.data()), 4 * worked.size()));

    // s16 through the format argument is write_wav's file; every format writes what it gives in memory.
    EXPECT_EQ(wav_bytes(worked, 8000, WavFormat::s16), wav_bytes(worked, 8000));
    TempPath path("out.wav");
    for (const WavFormat format : {WavFormat::s16, WavFormat::u8, WavFormat::f32}) {
        ASSERT_TRUE(write_wav(path.str(), worked, 8000, format));
        EXPECT_EQ(read_file(path.str()), wav_bytes(worked, 8000, format));
    }
}

// The line-by-line template for three samples, with the CR LF line ends we always write.
const std::string worked_header =
    "// Bleepforge DAW \xE2\x80\x94 Exported C/C++ PCM Sound Wave\r\n"
    "// Sample Rate: 44100 Hz, Mono 16-bit\r\n"
    "// Total Samples: 3\r\n"
    "\r\n"
    "#ifndef chiptune_sfx_H\r\n"
    "#define chiptune_sfx_H\r\n"
    "\r\n"
    "#include <stdint.h>\r\n"
    "\r\n"
    "static const int chiptune_sfx_sample_rate = 44100;\r\n"
    "static const int chiptune_sfx_num_samples = 3;\r\n"
    "static const int16_t chiptune_sfx_pcm[3] = {\r\n"
    "16383, -16383, -32767, \r\n"
    "};\r\n"
    "\r\n"
    "#endif // chiptune_sfx_H\r\n";

std::string header_tail(const std::string& text, const std::string& from) {
    return text.substr(text.find(from));
}

TEST(WriteCHeader, FollowsTheTemplateLineByLine) {
    TempPath path("out.h");
    ASSERT_TRUE(write_c_header(path.str(), SampleBuffer{0.5f, -0.5f, -2.0f}, "chiptune_sfx", 44100));
    EXPECT_EQ(read_file(path.str()), worked_header);

    // A positive multiple of 12 ends its last data line itself: an empty line before "};".
    ASSERT_TRUE(write_c_header(path.str(), SampleBuffer(12, 0.5f), "chiptune_sfx", 44100));
    std::string twelve;
    for (int i = 0; i < 12; ++i) {
        twelve += "16383, ";
    }
    EXPECT_EQ(header_tail(read_file(path.str()), "static const int16_t"),
              "static const int16_t chiptune_sfx_pcm[12] = {\r\n" + twelve +
                  "\r\n\r\n};\r\n\r\n#endif // chiptune_sfx_H\r\n");

    // An empty buffer: a count of 0, and an array of one 0, since C and C++ refuse a zero-size array.
    ASSERT_TRUE(write_c_header(path.str(), SampleBuffer{}, "chiptune_sfx", 44100));
    const std::string empty = read_file(path.str());
    EXPECT_NE(empty.find("// Total Samples: 0\r\n"), std::string::npos);
    EXPECT_NE(empty.find("chiptune_sfx_num_samples = 0;\r\n"), std::string::npos);
    EXPECT_EQ(header_tail(empty, "static const int16_t"),
              "static const int16_t chiptune_sfx_pcm[1] = {\r\n0, \r\n};\r\n\r\n#endif // chiptune_sfx_H\r\n");

    // The prefix and the rate go in unchanged, whatever they are.
    ASSERT_TRUE(write_c_header(path.str(), SampleBuffer{1.0f}, "My Sfx", -7));
    const std::string odd = read_file(path.str());
    EXPECT_NE(odd.find("#ifndef My Sfx_H\r\n"), std::string::npos);
    EXPECT_NE(odd.find("// Sample Rate: -7 Hz"), std::string::npos);
    EXPECT_NE(odd.find("static const int My Sfx_sample_rate = -7;\r\n"), std::string::npos);
    EXPECT_NE(odd.find("My Sfx_pcm[1] = {\r\n32767, \r\n};"), std::string::npos);
}

TEST(WriteCHeader, Writes22050SamplesAs1853Lines) {
    SampleBuffer samples(22050);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(i % 7) / 3.0f - 1.0f;  // the widest values included
    }
    TempPath path("out.h");
    ASSERT_TRUE(write_c_header(path.str(), samples, "chiptune_sfx", 44100));
    const std::string text = read_file(path.str());
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 1853U);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    for (const std::size_t line : {2U, 10U, 11U}) {
        EXPECT_NE(lines[line].find("22050"), std::string::npos) << line + 1;
    }
    std::size_t values = 0;
    for (std::size_t i = 12; i < 12 + 1838; ++i) {
        const std::size_t on_line =
            static_cast<std::size_t>(std::count(lines[i].begin(), lines[i].end(), ','));
        EXPECT_EQ(on_line, i < 12 + 1837 ? 12U : 6U) << i + 1;
        values += on_line;
    }
    EXPECT_EQ(values, 22050U);
    EXPECT_EQ(lines[12].substr(0, 22), "-32767, -21844, -10922");
    EXPECT_EQ(lines[1850], "};");
}

TEST(Exporters, GiveTheFilesBytesInMemory) {
    SampleBuffer samples(22050 + 5);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(i % 13) / 6.0f - 1.1f;  // clipped values included
    }
    TempPath wav("out.wav");
    TempPath header("out.h");
    for (const SampleBuffer& buffer : {SampleBuffer{}, SampleBuffer{0.5f, -0.5f, -2.0f}, samples}) {
        ASSERT_TRUE(write_wav(wav.str(), buffer, 22050));
        EXPECT_EQ(wav_bytes(buffer, 22050), read_file(wav.str()));
        ASSERT_TRUE(write_c_header(header.str(), buffer, "zap", 22050));
        EXPECT_EQ(c_header_text(buffer, "zap", 22050), read_file(header.str()));
    }
    EXPECT_EQ(c_header_text(SampleBuffer{0.5f, -0.5f, -2.0f}, "chiptune_sfx", 44100), worked_header);
}

TEST(Exporters, ReportEveryFailureAndCreateNothingWhenThePathCannotBeOpened) {
    TempPath dir("dir");
    const std::string missing = dir.str() + "/no/such/out";
    EXPECT_FALSE(write_wav(missing, SampleBuffer{0.5f}, 44100));
    EXPECT_FALSE(write_c_header(missing, SampleBuffer{0.5f}, "chiptune_sfx", 44100));
    EXPECT_FALSE(exists(dir.str()));

    std::filesystem::create_directory(dir.str());
    EXPECT_FALSE(write_wav(dir.str(), SampleBuffer{0.5f}, 44100));
    EXPECT_FALSE(write_c_header(dir.str(), SampleBuffer{0.5f}, "chiptune_sfx", 44100));

    if (exists("/dev/full")) {
        // The bytes of an empty buffer fit any buffer: the failure shows only at the flush.
        EXPECT_FALSE(write_wav("/dev/full", SampleBuffer{}, 44100));
        EXPECT_FALSE(write_c_header("/dev/full", SampleBuffer{}, "chiptune_sfx", 44100));
        EXPECT_FALSE(write_wav("/dev/full", SampleBuffer(22050, 0.5f), 44100));
        EXPECT_FALSE(write_c_header("/dev/full", SampleBuffer(22050, 0.5f), "chiptune_sfx", 44100));
    }
}

TEST(HeaderName, IsACIdentifierThatIsNoKeyword) {
    for (const char* good : {"chiptune_sfx", "_x", "Zap2", "a", "jump_sound_01", "final", "override",
                             "import", "module", "Bool", "atomic"}) {
        EXPECT_TRUE(is_header_name(good)) << good;
    }
    // Every keyword of C23 and of C++20, as their standards list them (the alternative tokens of
    // C++ included), whichever of the two a game's header is compiled as.
    constexpr const char* c23[] = {
        "alignas",
        "alignof",
        "auto",
        "bool",
        "break",
        "case",
        "char",
        "const",
        "constexpr",
        "continue",
        "default",
        "do",
        "double",
        "else",
        "enum",
        "extern",
        "false",
        "float",
        "for",
        "goto",
        "if",
        "inline",
        "int",
        "long",
        "nullptr",
        "register",
        "restrict",
        "return",
        "short",
        "signed",
        "sizeof",
        "static",
        "static_assert",
        "struct",
        "switch",
        "thread_local",
        "true",
        "typedef",
        "typeof",
        "typeof_unqual",
        "union",
        "unsigned",
        "void",
        "volatile",
        "while",
        "_Alignas",
        "_Alignof",
        "_Atomic",
        "_BitInt",
        "_Bool",
        "_Complex",
        "_Decimal128",
        "_Decimal32",
        "_Decimal64",
        "_Generic",
        "_Imaginary",
        "_Noreturn",
        "_Static_assert",
        "_Thread_local",
    };
    constexpr const char* cpp20[] = {
        "alignas",     "alignof",   "and",        "and_eq",    "asm",      "auto",         "bitand",
        "bitor",       "bool",      "break",      "case",      "catch",    "char",         "char8_t",
        "char16_t",    "char32_t",  "class",      "compl",     "concept",  "const",        "consteval",
        "constexpr",   "constinit", "const_cast", "continue",  "co_await", "co_return",    "co_yield",
        "decltype",    "default",   "delete",     "do",        "double",   "dynamic_cast", "else",
        "enum",        "explicit",  "export",     "extern",    "false",    "float",        "for",
        "friend",      "goto",      "if",         "inline",    "int",      "long",         "mutable",
        "namespace",   "new",       "noexcept",   "not",       "not_eq",   "nullptr",      "operator",
        "or",          "or_eq",     "private",    "protected", "public",   "register",     "reinterpret_cast",
        "requires",    "return",    "short",      "signed",    "sizeof",   "static",       "static_assert",
        "static_cast", "struct",    "switch",     "template",  "this",     "thread_local", "throw",
        "true",        "try",       "typedef",    "typeid",    "typename", "union",        "unsigned",
        "using",       "virtual",   "void",       "volatile",  "wchar_t",  "while",        "xor",
        "xor_eq",
    };
    for (const auto& keywords : {std::span<const char* const>(c23), std::span<const char* const>(cpp20)}) {
        for (const char* keyword : keywords) {
            EXPECT_FALSE(is_header_name(keyword)) << keyword;
        }
    }
    for (const char* bad :
         {"", "2zap", "my-sound", "zap sound", "int", "class", "static", "caf\xC3\xA9", "a.b"}) {
        EXPECT_FALSE(is_header_name(bad)) << bad;
    }
}

// The names a header's text declares or defines, sorted: its guard, constants, arrays, enum and
// enumerators, struct and table.
std::vector<std::string> names_declared(const std::string& text) {
    static const std::regex declaration(
        R"((?:#define |static const int |static const int16_t |enum |struct |static const struct \w+ )(\w+))");
    static const std::regex enumerator(R"(\r\n    (\w+),?(?=\r\n))");
    std::vector<std::string> names;
    for (const std::regex* pattern : {&declaration, &enumerator}) {
        for (auto m = std::sregex_iterator(text.begin(), text.end(), *pattern); m != std::sregex_iterator();
             ++m) {
            names.push_back((*m)[1]);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sorted_names(const std::vector<HeaderSymbol>& symbols) {
    std::vector<std::string> names;
    for (const HeaderSymbol& symbol : symbols) {
        names.push_back(symbol.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The list is what the exporters write: a symbol added to a header and not to the list would go
// unchecked.
TEST(HeaderSymbols, AreTheNamesTheHeadersDefine) {
    const SampleBuffer samples{0.5f, -0.5f};
    EXPECT_EQ(names_declared(c_header_text(samples, "zap", 44100)), sorted_names(header_symbols("zap")));
    const NamedSamples sounds[] = {{"jump", samples}, {"coin", samples}, {"H2", samples}};
    const std::string_view names[] = {"jump", "coin", "H2"};
    const std::vector<HeaderSymbol> symbols = header_symbols("game", names);
    EXPECT_EQ(names_declared(bank_header_text(sounds, "game", 44100)), sorted_names(symbols));
    ASSERT_EQ(symbols.size(), 6U + 3 * 3);
    // The header's own first, then each sound's, each named with its sound.
    EXPECT_EQ(symbols.front().name, "game_H");
    EXPECT_EQ(symbols.front().sound, "");
    EXPECT_EQ(symbols[6].name, "game_jump");
    EXPECT_EQ(symbols[6].sound, "jump");
    EXPECT_EQ(symbols.back().name, "game_H2_num_samples");
    EXPECT_EQ(symbols.back().sound, "H2");
}

TEST(HeaderSymbols, ClashWhereAHeaderWouldNotCompile) {
    const struct {
        const char* prefix;
        std::vector<std::string_view> names;
        std::vector<SymbolClash> clashes;
    } cases[] = {
        {"game", {"zap", "pickup", "H2", "h", "ids", "counts", "pcm", "zap_pc"}, {}},
        // The include guard, and each of the header's own names.
        {"game", {"H"}, {{"game_H", "H", "", false}}},
        {"game",
         {"sample_rate", "id", "count", "sound", "sounds"},
         {{"game_sample_rate", "sample_rate", "", false},
          {"game_id", "id", "", false},
          {"game_count", "count", "", false},
          {"game_sound", "sound", "", false},
          {"game_sounds", "sounds", "", false}}},
        // Another sound's array or count, whichever comes first; the later sound is the one named.
        {"game", {"zap", "zap_pcm"}, {{"game_zap_pcm", "zap_pcm", "zap", false}}},
        {"game", {"zap_num_samples", "zap"}, {{"game_zap_num_samples", "zap", "zap_num_samples", false}}},
        // One clash a sound: its first.
        {"game", {"x_pcm", "x_num_samples", "x"}, {{"game_x_pcm", "x", "x_pcm", false}}},
        // Keywords made of the prefix and a name, in C23 and in C++20 alone.
        {"char8", {"t"}, {{"char8_t", "t", "", true}}},
        {"thread", {"a", "local"}, {{"thread_local", "local", "", true}}},
        {"co", {"await"}, {{"co_await", "await", "", true}}},
        {"dynamic", {"cast"}, {{"dynamic_cast", "cast", "", true}}},
        // A prefix that is no identifier: the header's own names are none.
        {"my-sfx", {}, {{"my-sfx_H", "", "", true}}},
    };
    for (const auto& c : cases) {
        const std::vector<SymbolClash> clashes = header_symbol_clashes(header_symbols(c.prefix, c.names));
        ASSERT_EQ(clashes.size(), c.clashes.size()) << c.prefix << " " << c.names.size();
        for (std::size_t i = 0; i < clashes.size(); ++i) {
            EXPECT_EQ(clashes[i].symbol, c.clashes[i].symbol);
            EXPECT_EQ(clashes[i].sound, c.clashes[i].sound) << clashes[i].symbol;
            EXPECT_EQ(clashes[i].other, c.clashes[i].other) << clashes[i].symbol;
            EXPECT_EQ(clashes[i].keyword, c.clashes[i].keyword) << clashes[i].symbol;
        }
    }
    // A header of one sound has no names of sounds to clash with.
    EXPECT_TRUE(header_symbol_clashes(header_symbols("chiptune_sfx")).empty());
    EXPECT_EQ(header_symbol_clashes(header_symbols("my-sfx")).size(), 1U);
}

}  // namespace
}  // namespace bleepforge
