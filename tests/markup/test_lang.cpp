// The phrase table and its enciphered file: building the table from the
// document, every load failure, select, and save read back.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/qx_3des_keys.h"
#include "core/qxval.h"
#include "markup/lang_keys.h"
#include "markup/qxlang.h"

namespace qvtf {
namespace {

// Enciphers clear text the way the program's files are made, independently
// of qxlang::save: 512-byte chunks, zero padding, one running vector.
std::string encipher(const std::string& clear, const lang_key_material& km)
{
    qx_3des_keys keys;
    EXPECT_EQ(keys_from_blocks(keys, km.block1, km.block2, km.block3), 0);
    std::uint8_t iv[8];
    std::copy(km.iv, km.iv + 8, iv);
    std::string out;
    for (std::size_t at = 0; at < clear.size(); at += 512) {
        std::string chunk = clear.substr(at, 512);
        chunk.resize((chunk.size() + 7) / 8 * 8, '\0');
        qxval in(chunk), enc;
        EXPECT_TRUE(decipher_chunk(in, enc, keys, iv, true));
        out += enc.str();
    }
    return out;
}

class QxLang : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qvtf_lang_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string path(const char* name) const { return dir_ + "/" + name; }

    std::string write(const char* name, const std::string& bytes) const
    {
        std::string p = path(name);
        FILE* f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p;
    }

    std::string read(const std::string& p) const
    {
        std::string out;
        FILE* f = std::fopen(p.c_str(), "rb");
        if (!f)
            return out;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
        return out;
    }

    // Loads a clear document through the enciphered path.
    int32_t load_doc(qxlang& lang, const std::string& clear)
    {
        std::string p = write("doc.bin", encipher(clear, lang.keys()));
        error_ = qxval("");
        return lang.load(qxval(p), error_);
    }

    std::string dir_;
    qxval error_;
};

std::string text_of(const qxlang& lang, int32_t n)
{
    const char* p = lang.phrase(n);
    return p ? std::string(p) : std::string("<null>");
}

TEST_F(QxLang, TableWidthIsLastNumberPlusOneWithGapsNull)
{
    qxlang lang;
    ASSERT_EQ(load_doc(lang, "<langs><lang short=\"en\" full=\"English\"><_0>zero</_0><_5>five</_5></lang></langs>"),
              lang_ok);
    EXPECT_EQ(lang.language_count(), 1);
    EXPECT_EQ(lang.width(), 6);
    EXPECT_EQ(text_of(lang, 0), "zero");
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(lang.phrase(n), nullptr) << n;
    EXPECT_EQ(text_of(lang, 5), "five");
    EXPECT_EQ(lang.phrase(6), nullptr);
    EXPECT_EQ(lang.phrase(-1), nullptr);
    EXPECT_EQ(lang.text(3), "");
    EXPECT_EQ(lang.short_names.at(0).str(), "en");
    EXPECT_EQ(lang.full_names.at(0).str(), "English");
}

TEST_F(QxLang, WidthIsTheLargestOverLanguagesAndEachKeepsItsOwnSet)
{
    qxlang lang;
    ASSERT_EQ(load_doc(lang,
                       "<?xml version=\"1.0\"?>\r\n<langs>\r\n"
                       "<lang short=\"a\" full=\"A\"><_3>a3</_3></lang>\r\n"
                       "<lang short=\"b\" full=\"B\"><_2>b2</_2><_9>b9</_9></lang>\r\n</langs>"),
              lang_ok);
    EXPECT_EQ(lang.language_count(), 2);
    EXPECT_EQ(lang.width(), 10);
    EXPECT_EQ(text_of(lang, 3), "a3");
    EXPECT_EQ(lang.phrase(9), nullptr);
    lang.select(1);
    EXPECT_EQ(lang.current(), 1);
    EXPECT_EQ(lang.phrase(3), nullptr);
    EXPECT_EQ(text_of(lang, 2), "b2");
    EXPECT_EQ(text_of(lang, 9), "b9");
    lang.select(5);
    EXPECT_EQ(lang.current(), 1);
    lang.select(-1);
    EXPECT_EQ(lang.current(), 1);
    lang.select(0);
    EXPECT_EQ(lang.current(), 0);
}

TEST_F(QxLang, PhraseElementsCountOnlyWithTextAndAnyDepth)
{
    qxlang lang;
    // _1 is an empty element and _2 a start tag followed by its own end tag:
    // neither counts, not even for the width. _4 sits inside another element.
    ASSERT_EQ(load_doc(lang,
                       "<langs><lang short=\"en\" full=\"E\">"
                       "<_0>&lt;b&gt; &amp; &quot;q&quot; &#65;&#x42;</_0><_1/><_2></_2>"
                       "<group><_4>deep</_4></group><x>not a phrase</x>"
                       "<_6>line&#13;&#10;two</_6><_7> padded </_7></lang></langs>"),
              lang_ok);
    EXPECT_EQ(lang.width(), 8);
    EXPECT_EQ(text_of(lang, 0), "<b> & \"q\" AB");
    EXPECT_EQ(lang.phrase(1), nullptr);
    EXPECT_EQ(lang.phrase(2), nullptr);
    EXPECT_EQ(text_of(lang, 4), "deep");
    EXPECT_EQ(text_of(lang, 6), "line\r\ntwo");
    EXPECT_EQ(text_of(lang, 7), " padded ");
}

TEST_F(QxLang, PhraseNumbersMustIncreaseWithinOneLanguageOnly)
{
    qxlang lang;
    EXPECT_EQ(load_doc(lang, "<langs><lang short=\"en\" full=\"E\"><_3>x</_3><_2>y</_2></lang></langs>"),
              lang_bad_phrase_id);
    EXPECT_EQ(lang.language_count(), 0);
    EXPECT_EQ(lang.phrase(3), nullptr);
    EXPECT_EQ(load_doc(lang, "<langs><lang short=\"en\" full=\"E\"><_3>x</_3><_3>y</_3></lang></langs>"),
              lang_bad_phrase_id);
    EXPECT_EQ(load_doc(lang,
                       "<langs><lang short=\"a\" full=\"A\"><_3>x</_3></lang>"
                       "<lang short=\"b\" full=\"B\"><_2>y</_2></lang></langs>"),
              lang_ok);
}

TEST_F(QxLang, EveryDocumentFailureHasItsCode)
{
    qxlang lang;
    EXPECT_EQ(load_doc(lang, "<langs><lang full=\"E\"><_1>x</_1></lang></langs>"), lang_no_short);
    EXPECT_EQ(load_doc(lang, "<langs><lang short=\"en\"><_1>x</_1></lang></langs>"), lang_no_full);
    EXPECT_EQ(load_doc(lang, "<langs><other /></langs>"), lang_no_languages);
    EXPECT_EQ(load_doc(lang, "<langs><lang short=\"en\" full=\"E\"><_1/></lang></langs>"), lang_no_phrases);
    EXPECT_EQ(load_doc(lang, "<langs><lang short=\"en\" full=\"E\"><_1>x</_1></lang>"), lang_xml_error);
    EXPECT_NE(error_.str().find("unclosed tag."), std::string::npos) << error_.str();
    EXPECT_EQ(load_doc(lang, "<langs></lang></langs>"), lang_xml_error);
    EXPECT_EQ(error_.str().rfind("Line: 1, column: ", 0), 0u) << error_.str();
    // No "langs" at all is not an error: simply no languages.
    EXPECT_EQ(load_doc(lang, "<other><lang short=\"en\" full=\"E\"><_1>x</_1></lang></other>"), lang_ok);
    EXPECT_EQ(lang.language_count(), 0);
    EXPECT_EQ(lang.phrase(1), nullptr);
}

TEST_F(QxLang, FileAndCipherFailures)
{
    qxlang lang;
    EXPECT_EQ(lang.load(qxval(path("missing.bin")), error_), lang_cannot_open);

    std::string good = encipher("<langs><lang short=\"en\" full=\"E\"><_1>x</_1></lang></langs>", lang.keys());
    EXPECT_EQ(lang.load(qxval(write("short.bin", good.substr(0, good.size() - 3))), error_), lang_bad_chunk);
    EXPECT_EQ(lang.phrase(1), nullptr);

    // 0x01 repeated is a weak DES key even after the parity fix.
    lang_key_material weak = program_lang_keys();
    std::fill(weak.block2, weak.block2 + 8, 0x01);
    lang.set_keys(weak);
    EXPECT_EQ(lang.load(qxval(write("good.bin", good)), error_), lang_cannot_open);

    // The wrong key yields garbage: there is no integrity check, so the
    // result is at best a document without languages.
    lang_key_material other = program_lang_keys();
    other.block1[0] ^= 0x10;
    lang.set_keys(other);
    lang.load(qxval(path("good.bin")), error_);
    EXPECT_EQ(lang.language_count(), 0);
    EXPECT_EQ(lang.phrase(1), nullptr);
}

TEST_F(QxLang, LoadReplacesTheTableAndFailureEmptiesIt)
{
    qxlang lang;
    ASSERT_EQ(load_doc(lang,
                       "<langs><lang short=\"a\" full=\"A\"><_1>one</_1></lang>"
                       "<lang short=\"b\" full=\"B\"><_1>uno</_1></lang></langs>"),
              lang_ok);
    lang.select(1);
    ASSERT_EQ(load_doc(lang, "<langs><lang short=\"c\" full=\"C\"><_2>two</_2></lang></langs>"), lang_ok);
    EXPECT_EQ(lang.current(), 0);
    EXPECT_EQ(lang.language_count(), 1);
    EXPECT_EQ(lang.short_names.count(), 1);
    EXPECT_EQ(lang.phrase(1), nullptr);
    EXPECT_EQ(text_of(lang, 2), "two");
    EXPECT_NE(load_doc(lang, "<langs><lang short=\"c\"><_2>two</_2></lang></langs>"), lang_ok);
    EXPECT_EQ(lang.language_count(), 0);
    EXPECT_EQ(lang.short_names.count(), 0);
    EXPECT_EQ(lang.phrase(2), nullptr);
}

TEST_F(QxLang, LargeFileSpansManyReadChunks)
{
    std::string doc = "<langs><lang short=\"en\" full=\"English\">\r\n";
    for (int n = 0; n < 3000; ++n)
        doc += "<_" + std::to_string(n) + ">phrase number " + std::to_string(n) + "</_" + std::to_string(n) + ">\r\n";
    doc += "</lang></langs>";
    ASSERT_GT(doc.size(), 3u * 16384);
    qxlang lang;
    ASSERT_EQ(load_doc(lang, doc), lang_ok);
    EXPECT_EQ(lang.width(), 3000);
    for (int n : {0, 1, 511, 512, 1999, 2999})
        EXPECT_EQ(text_of(lang, n), "phrase number " + std::to_string(n));
}

TEST_F(QxLang, SaveWritesTheCurrentLanguageFirstInTheDocumentedForm)
{
    qxlang lang;
    ASSERT_EQ(load_doc(lang,
                       "<langs><lang short=\"a\" full=\"A &amp; Co\"><_1>one</_1><_4>f&lt;o&gt;ur</_4></lang>"
                       "<lang short=\"b\" full=\"B\"><_0>null</_0><_1>eins</_1></lang>"
                       "<lang short=\"c\" full=\"C\"><_2>dos</_2></lang></langs>"),
              lang_ok);
    EXPECT_EQ(lang.clear_text(),
              "<langs><lang short=\"a\" full=\"A &amp; Co\"><_1>one</_1>\r\n<_4>f&lt;o&gt;ur</_4>\r\n</lang>"
              "<lang short=\"b\" full=\"B\"><_0>null</_0>\r\n<_1>eins</_1>\r\n</lang>"
              "<lang short=\"c\" full=\"C\"><_2>dos</_2>\r\n</lang></langs>");
    lang.select(1);
    const std::string clear = lang.clear_text();
    EXPECT_EQ(clear.rfind("<langs><lang short=\"b\"", 0), 0u);
    EXPECT_LT(clear.find("short=\"a\""), clear.find("short=\"c\""));

    // The file is exactly the clear text enciphered in 512-byte chunks.
    const std::string file = path("saved.bin");
    ASSERT_TRUE(lang.save(qxval(file)));
    EXPECT_EQ(read(file), encipher(clear, lang.keys()));

    qxlang again;
    ASSERT_EQ(again.load(qxval(file), error_), lang_ok) << error_.str();
    EXPECT_EQ(again.current(), 0);
    EXPECT_EQ(again.short_names.at(0).str(), "b");
    EXPECT_EQ(again.short_names.at(1).str(), "a");
    EXPECT_EQ(again.short_names.at(2).str(), "c");
    EXPECT_EQ(again.full_names.at(1).str(), "A & Co");
    EXPECT_EQ(text_of(again, 0), "null");
    EXPECT_EQ(text_of(again, 1), "eins");
    again.select(1);
    EXPECT_EQ(text_of(again, 4), "f<o>ur");
    again.select(2);
    EXPECT_EQ(text_of(again, 2), "dos");
}

TEST_F(QxLang, SaveKeepsEveryByteOfThePhrases)
{
    qxlang lang;
    lang.add_language(qxval("x\"y"), qxval("Caf\xc3\xa9"));
    lang.set_width(700);
    const std::string script = "USER %firewall_username%\r\nPASS %firewall_password%\r\nSITE %host%";
    lang.set_phrase(0, 447, script);
    lang.set_phrase(0, 7, "Connected to ");
    lang.set_phrase(0, 12, "a<b>&\"c\" 'd' \xe9\xff\tend\n");
    lang.set_phrase(0, 13, "cr\ralone");
    std::string big(2000, 'z');
    lang.set_phrase(0, 699, big);

    const std::string file = path("bytes.bin");
    ASSERT_TRUE(lang.save(qxval(file)));
    qxlang again;
    ASSERT_EQ(again.load(qxval(file), error_), lang_ok) << error_.str();
    EXPECT_EQ(again.width(), 700);
    EXPECT_EQ(again.short_names.at(0).str(), "x\"y");
    EXPECT_EQ(again.full_names.at(0).str(), "Caf\xc3\xa9");
    EXPECT_EQ(text_of(again, 447), script);
    EXPECT_EQ(text_of(again, 7), "Connected to ");
    EXPECT_EQ(text_of(again, 12), "a<b>&\"c\" 'd' \xe9\xff\tend\n");
    EXPECT_EQ(text_of(again, 13), "cr\ralone");
    EXPECT_EQ(text_of(again, 699), big);
}

TEST_F(QxLang, SaveFailsWhereNoFileCanBeMade)
{
    qxlang lang;
    lang.add_language(qxval("en"), qxval("English"));
    lang.set_width(2);
    lang.set_phrase(0, 1, "x");
    EXPECT_FALSE(lang.save(qxval(path("no/such/folder/qorx.bin"))));
}

TEST(QxLangCodes, TransportCodesMapToTheirPhrases)
{
    const int pairs[][2] = {{1000, 166}, {1001, 167}, {1002, 168}, {1003, 169}, {1004, 170}, {1005, 1000}, {1006, 1001}, {1099, 171}, {1100, 172},
                            {2000, 177}, {2001, 178}, {2002, 179}, {2003, 180}, {2004, 181}, {2005, 182}};
    for (const auto& p : pairs)
        EXPECT_EQ(transport_phrase_number(p[0]), p[1]) << p[0];
    for (int code : {0, 999, 1007, 1098, 1101, 1601, 1999, 2006, 6000, 100061, -1})
        EXPECT_EQ(transport_phrase_number(code), -1) << code;

    qxlang empty;
    EXPECT_EQ(transport_phrase(empty, 1000), nullptr);
}

TEST(QxLangCodes, LoadStatusTexts)
{
    EXPECT_STREQ(lang_status_text(lang_cannot_open), "Can't find language file");
    EXPECT_STREQ(lang_status_text(lang_xml_error), "Lang file error:");
    EXPECT_STREQ(lang_status_text(lang_no_short), "No short language description");
    EXPECT_STREQ(lang_status_text(lang_no_full), "No full language description");
    EXPECT_STREQ(lang_status_text(lang_bad_phrase_id), "Phrase ID is wrong");
    EXPECT_STREQ(lang_status_text(lang_no_languages), "No languages found");
    EXPECT_STREQ(lang_status_text(lang_no_phrases), "No phrases found");
    EXPECT_STREQ(lang_status_text(lang_bad_chunk), "Unknown lang error");
    EXPECT_STREQ(lang_status_caption, "Error");
}

}  // namespace
}  // namespace qvtf
