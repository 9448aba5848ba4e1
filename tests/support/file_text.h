// A file's whole content, for tests that compare what arrived.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace qvtf::test {

// "" when the file cannot be read.
inline std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qvtf::test
