// The generator of derived files: a region is written between its markers and nowhere else, markers
// out of place are refused, each format's text is escaped for it, and the committed copies carry
// every region's markers.
#include "derived.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bleepforge/catalogue.hpp"

namespace bleepforge::derived {
namespace {

constexpr CommentStyle hash{"# ", ""};

std::vector<Region> two_regions() {
    return {{"a", "A\n"}, {"b", "B1\nB2\n"}};
}

TEST(Splice, WritesEachRegionBetweenItsMarkersAndKeepsTheRest) {
    const std::string a = opening_line(hash, "a");
    const std::string b = opening_line(hash, "b");
    struct Case {
        const char* what;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"old lines and an edited opening line are replaced; the rest, without a final line end, kept",
         "top\n# derived a: an old note\nold\n# end of derived a\nmiddle\n# derived b:\n# end of derived "
         "b\nend",
         "top\n" + a + "\nA\n# end of derived a\nmiddle\n" + b + "\nB1\nB2\n# end of derived b\nend"},
        {"indented markers keep their indentation, a closing line its CR LF",
         "  # derived a:\n  old\n\t# end of derived a\r\n# derived b:\n# end of derived b\n",
         "  " + a + "\nA\n\t# end of derived a\r\n" + b + "\nB1\nB2\n# end of derived b\n"},
        {"a marker's words in the middle of a line are text, not a marker",
         "x # derived a:\n# derived a:\n# end of derived a\n# derived b:\nsay # end of derived b\n# end of "
         "derived b\n",
         "x # derived a:\n" + a + "\nA\n# end of derived a\n" + b + "\nB1\nB2\n# end of derived b\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const std::optional<std::string> once = splice(c.text, hash, two_regions(), error);
        ASSERT_TRUE(once) << error;
        EXPECT_EQ(*once, c.expected);
        const std::optional<std::string> twice = splice(*once, hash, two_regions(), error);
        ASSERT_TRUE(twice) << error;
        EXPECT_EQ(*twice, *once);
    }
}

TEST(Splice, RefusesMarkersMissingRepeatedOrOutOfPlace) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"# end of derived a\n# derived b:\n# end of derived b\n", "no line opens the region \"a\""},
        {"# derived a:\n# end of derived a\n# derived b:\n", "no line closes the region \"b\""},
        {"# derived a:\n# end of derived a\n# derived a:\n# end of derived a\n# derived b:\n# end of derived "
         "b\n",
         "more than one line opens the region \"a\""},
        {"# derived a:\n# end of derived a\n# end of derived a\n# derived b:\n# end of derived b\n",
         "more than one line closes the region \"a\""},
        {"# derived b:\n# end of derived b\n# derived a:\n# end of derived a\n",
         "the region \"b\" is not after the one before it"},
        {"# end of derived a\n# derived a:\n# derived b:\n# end of derived b\n",
         "the region \"a\" is not after"},
        {"# derived a:\n# derived b:\n# end of derived a\n# end of derived b\n",
         "the region \"b\" is not after"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(splice(c.text, hash, two_regions(), error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// A row whose text holds what each format reads as its own: a minus and a backslash (roff), a
// character beyond ASCII (the manual stays ASCII), a bar (a Markdown cell) and "*/" (a comment).
SoundField odd_field() {
    SoundField field = sound_fields()[0];
    field.name = "odd";
    field.title = "Odd";
    field.summary = "a - b | c */ d \\ e";
    field.unit = "Hz/s\xC2\xB2";
    field.min = -1.0;
    field.max = 1.0;
    field.section = Section::filters;
    field.version = 2;
    return field;
}

TEST(Parts, EscapeWhatEachFormatWouldReadAsItsOwn) {
    const SoundField field = odd_field();
    const std::span<const SoundField> rows(&field, 1);
    EXPECT_EQ(
        manual_table(rows),
        ".TS\nl l l.\nMember\tRange\tMeaning\nodd\t\\-1 to 1 Hz/s\\[u00B2]\ta \\- b | c */ d \\e e\n.TE\n");
    EXPECT_EQ(readme_table(rows),
              "| section | member | range | what it does |\n|---|---|---|---|\n"
              "| Filters | `odd` | -1 to 1 Hz/s\xC2\xB2 | a - b \\| c */ d \\ e (format 2) |\n");
    EXPECT_EQ(typescript_members(rows),
              "  /** Odd: a - b | c *\\/ d \\ e (-1 to 1 Hz/s\xC2\xB2). */\n  odd?: number;\n");
    EXPECT_EQ(typescript_union("Chip", chip_words),
              "export type Chip = 'nes' | 'sid' | 'gameboy' | 'ym2612';\n");
}

TEST(Parts, TablesOfTheLibraryHoldARowAMemberInTheirCells) {
    for (const std::span<const SoundField> rows : {sound_fields(), layer_fields()}) {
        std::istringstream manual(manual_table(rows));
        std::vector<std::string> lines;
        for (std::string line; std::getline(manual, line);) {
            lines.push_back(line);
            EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; }))
                << line;
        }
        ASSERT_EQ(lines.size(), rows.size() + 4);  // .TS, the format, the heading, then the rows, .TE
        for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
            EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), '\t'), 2) << lines[i];
        }
        std::istringstream readme(readme_table(rows));
        std::size_t count = 0;
        for (std::string line; std::getline(readme, line); ++count) {
            std::size_t bars = 0;
            for (std::size_t i = 0; i < line.size(); ++i) {
                bars += line[i] == '|' && (i == 0 || line[i - 1] != '\\') ? 1U : 0U;
            }
            EXPECT_EQ(bars, 5U) << line;
        }
        EXPECT_EQ(count, rows.size() + 2);
    }
}

std::string committed_copy(std::string_view path) {
    std::ifstream in(std::string(BLEEPFORGE_SOURCE_DIR) + "/" + std::string(path), std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// However a committed copy has gone stale inside a region, writing it gives the current text; what a
// person wrote outside the regions stays.
TEST(CommittedCopies, CarryEveryRegionAndAreWrittenOnlyInside) {
    for (const DerivedFile& file : derived_files()) {
        SCOPED_TRACE(file.path);
        const std::string committed = committed_copy(file.path);
        std::string error;
        const std::optional<std::string> current = derived_text(file, committed, error);
        ASSERT_TRUE(current) << error;
        if (file.regions.size() == 1 && file.regions[0].name.empty()) {
            EXPECT_EQ(derived_text(file, "stale", error), current);
            continue;
        }
        for (const Region& region : file.regions) {
            SCOPED_TRACE(region.name);
            const std::size_t opening = committed.find("derived " + std::string(region.name) + ":");
            ASSERT_NE(opening, std::string::npos);
            std::string stale = committed;
            stale.insert(stale.find('\n', opening) + 1, "a stale line\n");
            EXPECT_EQ(derived_text(file, stale, error), current) << error;
        }
        EXPECT_EQ(derived_text(file, "written by hand\n" + committed, error), "written by hand\n" + *current);
    }
}

}  // namespace
}  // namespace bleepforge::derived
