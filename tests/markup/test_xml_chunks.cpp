// Input arrives in arbitrary pieces: every document must read the same
// however it is cut, including CR LF pairs and markup prefixes cut in two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_xml_util.h"

namespace qvtf {
namespace {

using test::parse_pieces;
using test::parsed;

const std::vector<std::string> documents = {
    "<?xml version=\"1.0\"?>\r\n<r>\r\n <a k=\"v&amp;w\">x &lt; y</a>\r\n</r>\r\n",
    "<r>\r\r\n\n\r<b/>\r</r>\r",
    "<a><!-- c -- > --><![CDATA[ ]] > ]]><?p ?></a>",
    "<!DOCTYPE x [<!ENTITY e \"v\">]><x a='1>2'>t</x>",
    "<a><b></a></b>",
    "<a><b>x</a>",
    "<a>\n<b>\n</c>",
    "<a/><!--# ssi --><% asp %><#h> < 1 <<z/>",
    "<a></a><b x=\"&#233;&#x41;\"></b>",
    "<a/><!-",
    "<a/><![CDATA[never",
};

void expect_same(const parsed& a, const parsed& b, const std::string& where)
{
    EXPECT_EQ(a.code, b.code) << where;
    EXPECT_EQ(a.line, b.line) << where;
    EXPECT_EQ(a.column, b.column) << where;
    EXPECT_EQ(a.shape, b.shape) << where;
    EXPECT_EQ(a.text, b.text) << where;
}

TEST(QxXmlChunks, EverySplitReadsLikeTheWholeDocument)
{
    for (const std::string& doc : documents) {
        std::string_view d = doc;
        parsed whole = parse_pieces({d});
        for (size_t i = 0; i <= d.size(); ++i)
            expect_same(parse_pieces({d.substr(0, i), d.substr(i)}), whole, doc + " | split at " + std::to_string(i));
        for (size_t i = 0; i <= d.size(); ++i)
            for (size_t j = i; j <= d.size(); ++j)
                expect_same(parse_pieces({d.substr(0, i), d.substr(i, j - i), d.substr(j)}), whole,
                            doc + " | split at " + std::to_string(i) + "," + std::to_string(j));
        std::vector<std::string_view> bytes;
        for (size_t i = 0; i < d.size(); ++i)
            bytes.push_back(d.substr(i, 1));
        expect_same(parse_pieces(bytes), whole, doc + " | byte by byte");
        if (HasFailure())
            return;  // one broken document is enough to read
    }
}

TEST(QxXmlChunks, WholeDocumentsReadAsExpected)
{
    // Anchors the split test: the whole-document reading is itself right.
    parsed p = parse_pieces({documents[1]});
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "r(\"\n\n\n\n\",b/,\"\n\",/r),\"\n\"");
    p = parse_pieces({documents[7]});
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "a/,\"<!--# ssi -->\",\"<% asp %>\",\"<#h> \",\"< 1 \",\"<<z/>\"");
}

}  // namespace
}  // namespace qvtf
