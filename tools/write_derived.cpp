// Writes the files derived from the library's tables (derived.hpp lists them) into a source tree,
// or checks that they are current there.
// Usage: write_derived SOURCE           rewrites each derived file under SOURCE that is not current
//        write_derived --check SOURCE   names each one that is not, and fails if there is any
// The build runs the first as the derived_files target and the second as a test.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "derived.hpp"

namespace {

using namespace bleepforge::derived;

// Files are read and written as bytes: the same on every platform, line ends included.
std::optional<std::string> read_file(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, n);
    }
    const bool failed = std::ferror(file) != 0;
    return std::fclose(file) == 0 && !failed ? std::optional(text) : std::nullopt;
}

[[nodiscard]] bool write_file(const std::string& path, std::string_view text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    return std::fclose(file) == 0 && written;
}

// The 1-based line where two texts first differ.
std::size_t first_different_line(std::string_view a, std::string_view b) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i) {
        line += a[i] == '\n' ? 1U : 0U;
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 + (check ? 1 : 0)) {
        std::fputs("usage: write_derived [--check] SOURCE\n", stderr);
        return 2;
    }
    const std::string source = argv[check ? 2 : 1];
    int status = 0;
    for (const DerivedFile& file : derived_files()) {
        const std::string path = source + "/" + std::string(file.path);
        const std::optional<std::string> committed = read_file(path);
        std::string error;
        const std::optional<std::string> text =
            committed ? derived_text(file, *committed, error) : std::nullopt;
        if (!committed || !text) {
            std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(file.path.size()), file.path.data(),
                         committed ? error.c_str() : "cannot be read");
            status = 1;
        } else if (*text == *committed) {
            continue;
        } else if (check) {
            std::fprintf(stderr,
                         "%.*s is not what the library writes now (line %zu differs); "
                         "cmake --build BUILD --target derived_files rewrites it\n",
                         static_cast<int>(file.path.size()), file.path.data(),
                         first_different_line(*text, *committed));
            status = 1;
        } else if (write_file(path, *text)) {
            std::printf("wrote %.*s\n", static_cast<int>(file.path.size()), file.path.data());
        } else {
            std::fprintf(stderr, "%.*s: cannot be written\n", static_cast<int>(file.path.size()),
                         file.path.data());
            status = 1;
        }
    }
    return std::fflush(stdout) == 0 ? status : 1;
}
