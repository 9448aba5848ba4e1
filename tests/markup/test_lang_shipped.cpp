// The language file the build puts into the program folder: it must load
// with the program's own keys, match its readable source, and hold a
// fitting text for every phrase number the program looks up.

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "core/qxval.h"
#include "markup/lang_keys.h"
#include "markup/qxlang.h"

namespace qvtf {
namespace {

// Every phrase number the program uses.
// clang-format off
const std::vector<int> used_phrases = {
    // connection, start-up, message box captions
    7, 9, 10, 11, 12, 13, 28, 171, 196,
    // file list columns, pane menus, status line, filter hint
    16, 17, 18, 19, 20, 22, 26, 76, 90, 91, 103, 104, 105, 106, 131, 133, 141, 142, 143, 144, 145, 193,
    198, 251, 252, 255, 393, 394, 395, 432,
    // pane operations and their messages
    25, 30, 31, 32, 33, 34, 35, 36, 39, 40, 45, 48, 62, 63, 70, 71, 72, 73, 75, 97, 98, 99, 132, 136, 138,
    139, 140, 159, 190, 191, 194, 195, 262, 280, 339, 369, 379,
    // recursive walk status messages
    41, 43, 44,
    // FTP status messages
    49, 50, 52, 53, 54, 55, 57, 58, 59, 60, 61, 68, 286, 439, 501, 520,
    // transport and control-stream messages
    166, 167, 168, 169, 170, 172, 177, 178, 179, 180, 181, 182,
    // SOCKS messages
    480, 481, 482, 483, 484, 485, 486, 487, 488, 489, 490, 491, 492, 493,
    // file properties dialog
    77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 92, 93, 94, 95, 96,
    // queue: columns, reports, toolbar, transfer types
    38, 100, 101, 107, 108, 109, 110, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124,
    125, 126, 127, 128, 129, 130, 288, 387, 392,
    // file filter dialog
    146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158, 189, 199,
    // main window
    64, 164, 185, 197, 237, 246, 247, 248, 249, 253, 254, 257, 258, 259, 284, 436, 500,
    // prompts
    238, 434, 435, 495,
    // site profiles and the site manager
    200, 216, 217, 218, 219, 224, 225, 226, 227, 228, 230, 231, 232, 233, 234, 235, 236, 239, 240, 241,
    242, 244, 245, 479,
    // synchronisation wizard and its rule items
    265, 266, 267, 268, 270, 272, 273, 274, 275, 276, 277, 278, 279, 281, 282, 283, 285, 287, 289, 290, 291, 292, 293, 294,
    295, 296, 297, 298, 299, 300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 314, 315, 316, 317,
    318, 319, 320, 321, 322, 323, 324, 325, 326, 328, 329, 332, 333, 334, 335, 336, 337, 338, 364,
    // settings dialog
    341, 342, 343, 344, 345, 346, 347, 348, 349, 350, 351, 352, 353, 354, 355, 356, 362, 363, 372, 373,
    440, 441, 471, 472, 473, 474, 475, 476, 477, 478, 601, 602, 603, 604, 605, 610, 611,
    // about box
    606, 607, 608, 609,
    // firewall scripts and proxy type names
    447, 448, 449, 450, 451, 452, 459, 460, 461, 462, 463, 464,
    // folder walks
    870, 871,
};
// clang-format on

// Texts that a name, path or number follows directly.
const std::vector<int> followed_by_value = {7,   9,   10,  25,  30,  32,  36,  39,  40,  41,  43,  63,
                                            64,  70,  75,  99,  116, 121, 122, 123, 124, 130, 139, 140,
                                            142, 143, 249, 288, 334, 338, 608, 610, 870, 871};
// Texts that follow a name or number directly.
const std::vector<int> follows_value = {33, 38, 96, 107, 125, 144, 335, 439};

class ShippedLanguageFile : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        lang_ = new qxlang;
        qxval error;
        status_ = lang_->load(qxval(std::string(QVTF_PROGRAM_DIR) + "/qorx.bin"), error);
    }
    static void TearDownTestSuite()
    {
        delete lang_;
        lang_ = nullptr;
    }
    static std::string text(int n) { return std::string(lang_->text(n)); }

    static qxlang* lang_;
    static int32_t status_;
};

qxlang* ShippedLanguageFile::lang_ = nullptr;
int32_t ShippedLanguageFile::status_ = -1;

TEST_F(ShippedLanguageFile, LoadsWithTheProgramKeysAndMatchesItsSource)
{
    ASSERT_EQ(status_, lang_ok) << lang_status_text(status_);
    EXPECT_EQ(lang_->language_count(), 1);
    EXPECT_EQ(lang_->short_names.at(0).str(), "en");

    qxlang source;
    qxval error;
    ASSERT_EQ(source.load_plain(qxval(std::string(QVTF_SOURCE_DIR) + "/data/phrases/en.xml"), error), lang_ok)
        << error.str();
    ASSERT_EQ(source.width(), lang_->width()) << "qorx.bin is older than its source";
    for (int n = 0; n < source.width(); ++n)
        EXPECT_EQ(source.text(n), lang_->text(n)) << "phrase " << n;

    // The same bytes under other keys do not give the table.
    qxlang wrong;
    lang_key_material keys = program_lang_keys();
    keys.iv[3] ^= 0x40;
    keys.block3[5] ^= 0x08;
    wrong.set_keys(keys);
    wrong.load(qxval(std::string(QVTF_PROGRAM_DIR) + "/qorx.bin"), error);
    EXPECT_EQ(wrong.phrase(7), nullptr);
}

TEST_F(ShippedLanguageFile, EveryUsedPhraseHasText)
{
    ASSERT_EQ(status_, lang_ok);
    for (int n : used_phrases)
        EXPECT_NE(lang_->phrase(n), nullptr) << "phrase " << n << " is missing";
    std::set<int> unique(used_phrases.begin(), used_phrases.end());
    EXPECT_EQ(unique.size(), used_phrases.size()) << "a number is listed twice";
}

TEST_F(ShippedLanguageFile, TextsJoinNaturallyWithTheValuesAroundThem)
{
    ASSERT_EQ(status_, lang_ok);
    for (int n : followed_by_value) {
        std::string t = text(n);
        ASSERT_FALSE(t.empty()) << n;
        EXPECT_TRUE(t.back() == ' ') << "phrase " << n << " needs a trailing space: \"" << t << "\"";
    }
    for (int n : follows_value) {
        std::string t = text(n);
        ASSERT_FALSE(t.empty()) << n;
        EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(t.front())))
            << "phrase " << n << " must not start with a letter: \"" << t << "\"";
    }
    // Messages followed by reply lines end their own line.
    for (int n : {52, 54})
        EXPECT_TRUE(text(n).ends_with("\r\n")) << n;
    // The option letter is picked by index; option 0 is always used.
    EXPECT_GE(text(392).size(), 1u);
    // The six proxy type names are told apart.
    std::set<std::string> names;
    for (int n = 459; n <= 464; ++n)
        names.insert(text(n));
    EXPECT_EQ(names.size(), 6u);
}

TEST_F(ShippedLanguageFile, FirewallScriptsAreCommandLinesWithKnownPlaceholders)
{
    ASSERT_EQ(status_, lang_ok);
    const std::set<std::string> placeholders = {
        "host", "port", "username", "password", "firewall_username", "firewall_password"};
    const std::set<std::string> verbs = {"USER", "PASS", "SITE", "OPEN", "ACCT"};
    for (int n = 447; n <= 450; ++n) {
        const std::string script = text(n);
        SCOPED_TRACE("phrase " + std::to_string(n) + ": " + script);
        std::vector<std::string> lines;
        for (std::size_t at = 0;;) {
            std::size_t end = script.find("\r\n", at);
            lines.push_back(script.substr(at, end == std::string::npos ? std::string::npos : end - at));
            if (end == std::string::npos)
                break;
            at = end + 2;
        }
        ASSERT_GE(lines.size(), 2u);
        bool user = false, pass = false;
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
            std::string verb = line.substr(0, line.find(' '));
            EXPECT_TRUE(verbs.count(verb)) << line;
            user = user || verb == "USER";
            pass = pass || verb == "PASS";
            for (std::size_t p = line.find('%'); p != std::string::npos; p = line.find('%', p + 1)) {
                std::size_t q = line.find('%', p + 1);
                ASSERT_NE(q, std::string::npos) << line;
                EXPECT_TRUE(placeholders.count(line.substr(p + 1, q - p - 1))) << line;
                p = q;
            }
        }
        EXPECT_TRUE(user && pass);
        EXPECT_NE(script.find("%username%"), std::string::npos);
        EXPECT_NE(script.find("%password%"), std::string::npos);
    }
    EXPECT_NE(text(447).find("SITE %host%"), std::string::npos);
    EXPECT_NE(text(448).find("USER %username%@%host%"), std::string::npos);
    EXPECT_NE(text(449).find("OPEN %host%"), std::string::npos);
    EXPECT_EQ(text(450).rfind("USER %firewall_username%\r\nPASS %firewall_password%\r\n", 0), 0u);
    EXPECT_NE(text(450).find("USER %username%@%host%"), std::string::npos);
}

}  // namespace
}  // namespace qvtf
