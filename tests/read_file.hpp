// A whole file as text, for the tests that read what a program wrote: a log, a settings
// file. A file that cannot be read reads as empty.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tests {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace tests
