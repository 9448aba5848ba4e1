// A phrase table for tests: phrase n reads "[n]" (below 600 and from 1000
// on), so a test can see which phrase was used.
#pragma once

#include <string>

#include "markup/qxlang.h"

namespace qvtf::test {

inline const qxlang& test_phrases()
{
    static qxlang* lang = [] {
        auto* l = new qxlang;
        l->add_language(qxval("en"), qxval("English"));
        l->set_width(1100);
        // 600 to 999 stay empty: tests of the window read the fallback
        // texts of those.
        for (int n = 0; n < 1100; ++n)
            if (n < 600 || n >= 1000)
                l->set_phrase(0, n, "[" + std::to_string(n) + "]");
        return l;
    }();
    return *lang;
}

}  // namespace qvtf::test
