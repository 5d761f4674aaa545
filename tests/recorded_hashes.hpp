#pragma once

// The hashes the tests hold every build to, read from the files in tests/reference/ that the Node
// suite reads too: one line per name, its hashes in hexadecimal after it, # for comments.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace bleepforge::testing_support {

// The hashes on the line of the file that starts with name; empty when there is none.
inline std::vector<std::uint64_t> recorded_hashes(const char* path, std::string_view name) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == name) {
            std::vector<std::uint64_t> hashes;
            for (std::string hex; fields >> hex;) {
                hashes.push_back(std::stoull(hex, nullptr, 16));
            }
            return hashes;
        }
    }
    return {};
}

}  // namespace bleepforge::testing_support
