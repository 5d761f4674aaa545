#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace bleepforge::testing_support {

// A fresh path in the test's temporary folder, removed again at the end of the test.
class TempPath {
public:
    explicit TempPath(const std::string& name)
        : path_((std::filesystem::path(::testing::TempDir()) /
                 (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" + name))
                    .string()) {
        std::filesystem::remove_all(path_);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    ~TempPath() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& str() const { return path_; }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Everything written to a temporary stream, which is closed afterwards.
inline std::string drain(std::FILE* stream) {
    std::string text;
    std::rewind(stream);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stream)) > 0;) {
        text.append(chunk, n);
    }
    std::fclose(stream);
    return text;
}

inline bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

}  // namespace bleepforge::testing_support
