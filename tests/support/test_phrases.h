// A phrase table for tests: every phrase n reads "[n]", so a test can see
// which phrase was used.
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
        for (int n = 0; n < 1100; ++n)
            l->set_phrase(0, n, "[" + std::to_string(n) + "]");
        return l;
    }();
    return *lang;
}

}  // namespace qvtf::test
