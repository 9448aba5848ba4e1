// A moment given as UTC calendar fields, for tests that state the times
// listings and servers must show.
#pragma once

#include <ctime>

namespace qvtf::test {

inline std::time_t utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t);
}

}  // namespace qvtf::test
