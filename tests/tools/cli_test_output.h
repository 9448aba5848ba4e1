// Reading back what a qvtf-cli run wrote to its temporary out and err files.
#pragma once

#include <cstdio>
#include <string>

namespace qvtf::test {

inline std::string slurp(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

}  // namespace qvtf::test
