// The scanner and the tree builder: markup kinds, tree shapes, errors with
// their positions, entities, line ends and the input limit.
#include <gtest/gtest.h>

#include <string>

#include "test_xml_util.h"

namespace qvtf {
namespace {

using test::parse_doc;
using test::parse_pieces;

TEST(QxSgml, ClassifiesMarkupByItsFirstBytes)
{
    struct row {
        const char* token;
        int32_t kind;
    } rows[] = {
        {"<a", 1},        {"<Z", 1},        {"<_", 1},       {"<:", 1},        {"</", 2},        {"<!x", 4},
        {"<!d", 4},       {"<!--", 0},      {"<!--a", 5},    {"<!--#", 14},    {"<!-x", 4},      {"<![CDATA", 0},
        {"<![CDATA[", 6}, {"<![cdata[", 4}, {"<!DOCTYP", 0}, {"<!DOCTYPE", 7}, {"<!ELEMENT", 8}, {"<!ATTLIST", 9},
        {"<!ENTITY", 10}, {"<!E", 0},       {"<!EX", 4},     {"<?", 11},       {"<%", 12},       {"<#", 13},
        {"< ", 15},       {"<1", 15},       {"<<", 15},      {"<", 0},         {"<!", 0},
    };
    for (const row& r : rows)
        EXPECT_EQ(qxsgml::classify(r.token), r.kind) << r.token;
    qxxml reader(nullptr);
    for (int k = 1; k <= 15; ++k)
        EXPECT_EQ(reader.kept(k), k == 1 || k == 2 || k == 3 || k == 5 || k == 6 || k == 11) << k;
}

TEST(QxXml, BuildsNestedElementsWithTheirEndTags)
{
    auto p = parse_doc("<a><b>x</b></a>");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "a(b(\"x\",/b),/a)");
    EXPECT_EQ(p.text, "<a><b>x</b></a>");

    // Whitespace between tags is text; siblings follow the closed element.
    p = parse_doc("<r>\n  <k>1</k>\n  <k>2</k>\n</r>\n");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "r(\"\n  \",k(\"1\",/k),\"\n  \",k(\"2\",/k),\"\n\",/r),\"\n\"");
}

TEST(QxXml, StartTagFollowedByItsOwnEndTagIsOneEmptyElement)
{
    auto p = parse_doc("<r><a x=\"1\"></a><b/></r>");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "r(a[x=1]/,b/,/r)");
    EXPECT_EQ(p.text, "<r><a x=\"1\" /><b /></r>");
    // With anything in between it stays a start tag.
    p = parse_doc("<a> </a>");
    EXPECT_EQ(p.shape, "a(\" \",/a)");
}

TEST(QxXml, EndTagRulesFollowTheOpenAncestors)
{
    // a, b, text, end of a: the first open ancestor of the text is b.
    auto p = parse_doc("<a><b>x</a>");
    EXPECT_EQ(p.code, qxsgml::run_misplaced_end_tag);
    EXPECT_EQ(xml_error_text(p.line, p.column, p.code).str(), "Line: 1, column: 11\r\nError: misplaced end tag.\r\n");

    // a, b, end of a: b itself is not examined, a closes, b stays open and
    // holds the end tag.
    p = parse_doc("<a><b></a>");
    EXPECT_EQ(p.code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(p.shape, "a(b!(/a))");

    // ... and closing b afterwards completes the document.
    p = parse_doc("<a><b></a></b>");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "a(b(/a),/b)");
    EXPECT_EQ(p.text, "<a><b></a></b>");

    EXPECT_EQ(parse_doc("<a>").code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(parse_doc("</a>").code, qxsgml::run_misplaced_end_tag);
    EXPECT_EQ(parse_doc("<a></b>").code, qxsgml::run_misplaced_end_tag);
    EXPECT_EQ(parse_doc("<a></a></a>").code, qxsgml::run_misplaced_end_tag);
    EXPECT_EQ(parse_doc("<a></A>").code, qxsgml::run_misplaced_end_tag);
    // An end tag at the top level after text has no open ancestor.
    EXPECT_EQ(parse_doc("x</a>").code, qxsgml::run_misplaced_end_tag);
}

TEST(QxXml, ErrorsNameThePositionTheScannerReached)
{
    auto p = parse_doc("<a>\n<b>\n</c>\n</a>");
    EXPECT_EQ(p.code, qxsgml::run_misplaced_end_tag);
    EXPECT_EQ(p.line, 3);
    EXPECT_EQ(p.column, 4);
    // CR-only line ends count like line feeds.
    p = parse_doc("<a>\r<b>\r</c>\r</a>");
    EXPECT_EQ(p.line, 3);
    EXPECT_EQ(p.column, 4);
    p = parse_doc("<a>\r\n<b>\r\n</c>");
    EXPECT_EQ(p.line, 3);
    p = parse_doc("<a>\n<b>\n</b>\n");
    EXPECT_EQ(p.code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(xml_error_text(p.line, p.column, p.code).str(), "Line: 4, column: 0\r\nError: unclosed tag.\r\n");
}

TEST(QxXml, ErrorTextsForEveryCode)
{
    EXPECT_EQ(xml_error_text(7, 3, 1).str(), "Line: 7, column: 3\r\nError: size exceeded.\r\n");
    EXPECT_EQ(xml_error_text(1, 0, 3).str(), "Line: 1, column: 0\r\nError: unknown error.\r\n");
    EXPECT_EQ(xml_error_text(2, 5, 99).str(), "Line: 2, column: 5\r\nError: ");
}

TEST(QxXml, GreaterThanInsideQuotesEndsTheTag)
{
    auto p = parse_doc("<r><a v=\"1>2\">x</a></r>");
    // The tag ends at the first ">"; the rest of the value is text in a.
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "r(a[v=1](\"2\">x\",/a),/r)");
}

TEST(QxXml, ParsesAttributes)
{
    auto p = parse_doc("<a  one='1' two=\"t w o\" three=3 four five= \"5\" one=\"again\" B=b/>");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "a[B=b/,five=5,four=,one=again,three=3,two=t w o]/");
    p = parse_doc("<a\tx=\"&lt;&amp;&quot;&apos;&gt;&#233;&#x41;&bogus;\"\ny='a\"b'></a>");
    EXPECT_EQ(p.shape,
              "a[x=<&\"'>\xe9"
              "A!,y=a\"b]/");
    // Names keep their case; names may hold digits, "-", "." and ":".
    p = parse_doc("<n:x-1.2 Key.a-b:c=\"v\"/>");
    EXPECT_EQ(p.shape, "n:x-1.2[Key.a-b:c=v]/");
}

TEST(QxXml, DecodesEntitiesInOnePass)
{
    auto p = parse_doc("<a>&amp;lt; &#x41;&#65; &nbsp; &#1234; &#x100; &LT;</a>");
    EXPECT_EQ(p.shape, "a(\"&lt; AA ! ! ! !\",/a)");
    // A NUL byte hides no entity behind it.
    using namespace std::string_literals;
    p = parse_doc("<a v=\"&lt;\0&amp;\">&gt;\0&quot;</a>"s);
    EXPECT_EQ(p.shape, "a[v=<\0&](\">\0\"\",/a)"s);
    p = parse_doc("<a>&amp;lt; &#x41;&#65; &nbsp; &#1234; &#x100; &LT;</a>");
    // The raw text is written back, not the decoded one.
    EXPECT_EQ(p.text, "<a>&amp;lt; &#x41;&#65; &nbsp; &#1234; &#x100; &LT;</a>");
}

TEST(QxXml, KeepsCommentsCdataAndProcessingInstructions)
{
    auto p = parse_doc(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<r><!-- a <b> -->"
        "<![CDATA[<x> & ]] ]]></r>");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "?p,\"\n\",\"<!DOCTYPE r>\n\",r(#c,\"<x> & ]] \",/r)");
    // Comments are not written back; the rest is.
    EXPECT_EQ(p.text, "<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<r><![CDATA[<x> & ]] ]]></r>");
}

TEST(QxXml, OtherMarkupFormsStayText)
{
    // A "<" that starts no kept form splits the text but stays in it.
    auto p = parse_doc("<a>1 < 2 <% x %> <!--# ssi --> <#h> <!ENTITY e></a>");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape,
              "a(\"1 \",\"< 2 \",\"<% x %> \",\"<!--# ssi --> \",\"<#h> \","
              "\"<!ENTITY e>\",/a)");
    EXPECT_EQ(p.text, "<a>1 < 2 <% x %> <!--# ssi --> <#h> <!ENTITY e></a>");
}

TEST(QxXml, EndOfInputInsideMarkup)
{
    // Undecided bytes at the end are text; an unfinished tag is an error
    // rather than a silently shorter document.
    auto p = parse_doc("<a/><");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "a/,\"<\"");
    p = parse_doc("<a/><!-");
    EXPECT_EQ(p.code, 2);
    EXPECT_EQ(p.shape, "a/,\"<!-\"");
    EXPECT_EQ(parse_doc("<a/><b").code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(parse_doc("<a/><!-- x").code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(parse_doc("<a/><![CDATA[x]]").code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(parse_doc("").code, 2);
}

TEST(QxXml, NormalisesLineEndsAcrossChunks)
{
    auto p = parse_pieces({"<a>1\r", "\n2\r", "\r\n3\r", "", "\n", "4\r"});
    EXPECT_EQ(p.code, qxsgml::run_unclosed_tag);
    EXPECT_EQ(p.shape, "a!(\"1\n2\n\n3\n4\n\")");
    EXPECT_EQ(p.line, 6);
    // A LF that merely follows an earlier LF is kept.
    p = parse_pieces({"<a>\n", "\n</a>"});
    EXPECT_EQ(p.shape, "a(\"\n\n\",/a)");
}

TEST(QxXml, ResultStaysAfterAnErrorOrCompletion)
{
    xml_tree tree;
    qxxml reader(&tree);
    qxval chunk("</x><a>");
    reader.push(chunk);
    EXPECT_EQ(reader.run(), qxsgml::run_misplaced_end_tag);
    qxval more("</a>");
    reader.push(more);
    EXPECT_EQ(reader.run(), qxsgml::run_misplaced_end_tag);
    EXPECT_EQ(tree.root, nullptr);

    reader.reset_reader();
    reader.clear();
    tree.clear();
    qxval doc("<a>");
    reader.push(doc);
    EXPECT_EQ(reader.run(), 0);
    qxval end("</a>");
    reader.push(end);
    reader.end_input();
    EXPECT_EQ(reader.run(), 2);
    EXPECT_EQ(reader.run(), 2);
    EXPECT_EQ(test::dump(tree), "a/");
}

TEST(QxXml, PendingInputLimit)
{
    // One chunk above 16 MiB is refused before any of it is scanned.
    {
        xml_tree tree;
        qxxml reader(&tree);
        EXPECT_EQ(reader.limit, 16777216);
        std::string big(16777217, 'x');
        qxval chunk(big);
        reader.push(chunk);
        EXPECT_EQ(reader.run(), qxsgml::run_size_exceeded);
        EXPECT_EQ(tree.root, nullptr);
    }
    // Exactly the limit is accepted, as one text node.
    {
        xml_tree tree;
        qxxml reader(&tree);
        std::string big = "<a>" + std::string(16777216 - 7, 'x') + "</a>";
        qxval chunk(big);
        reader.push(chunk);
        reader.end_input();
        EXPECT_EQ(reader.run(), 2);
        ASSERT_NE(tree.root, nullptr);
        EXPECT_EQ(tree.root->first_child->raw.view().size(), 16777216u - 7);
    }
    // Scanned chunks are released, so a long document of small nodes reads
    // in pieces, while a single text run above the limit is refused.
    {
        xml_tree tree;
        qxxml reader(&tree);
        reader.limit = 64;
        for (int i = 0; i < 100; ++i) {
            qxval chunk("<k>value</k>\n");
            reader.push(chunk);
            ASSERT_EQ(reader.run(), 0) << i;
        }
        for (int i = 0; i < 10; ++i) {
            qxval chunk("0123456789");
            reader.push(chunk);
            if (reader.run() != 0)
                break;
        }
        EXPECT_EQ(reader.run(), qxsgml::run_size_exceeded);
    }
}

}  // namespace
}  // namespace qvtf
