// qxlang: the numbered phrase table behind every user-visible text, read from
// and written to the enciphered language file "qorx.bin".
//
// The file is one triple-DES CBC stream over an XML document
//   <langs><lang short=".." full=".."><_0>text</_0><_1>..</_1>...</lang>...</langs>
// The language that stands first in the file is the one in use after loading.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/qxarr.h"
#include "core/qxval.h"
#include "markup/lang_keys.h"

namespace qvtf {

// Results of qxlang::load.
enum qxlang_status : int32_t {
    lang_ok = 0,
    lang_cannot_open = 1,      // no file, or a key block is a weak DES key
    lang_xml_error = 2,        // error text holds the reader's message
    lang_no_short = 101,       // a "lang" element lacks "short"
    lang_no_full = 102,        // a "lang" element lacks "full"
    lang_bad_phrase_id = 103,  // phrase numbers not increasing within a language
    lang_no_languages = 104,
    lang_no_phrases = 105,
    lang_bad_chunk = 106,  // a chunk read from the file is not a multiple of 8
};

class qxlang {
public:
    qxarr full_names;   // display names, file order
    qxarr short_names;  // same order

    qxlang();
    qxlang(const qxlang&) = delete;
    qxlang& operator=(const qxlang&) = delete;
    ~qxlang() = default;

    // Key material for the file cipher; the program's own by default.
    void set_keys(const lang_key_material& keys) { keys_ = keys; }
    const lang_key_material& keys() const { return keys_; }

    // Replaces the table with the file's. 0 or a qxlang_status; on failure
    // the table is left empty, so every lookup yields null.
    int32_t load(const qxval& file_name, qxval& error_out);
    // The same from an unenciphered XML file (the phrase source the build
    // turns into qorx.bin).
    int32_t load_plain(const qxval& file_name, qxval& error_out);

    // Makes language index current when it exists; otherwise nothing changes.
    void select(int32_t index);
    int32_t current() const { return current_; }
    int32_t language_count() const { return static_cast<int32_t>(rows_.size()); }
    int32_t width() const { return width_; }

    // The current language's text, or null when nothing is loaded, the
    // number is out of range or the language lacks that phrase.
    const char* phrase(int32_t number) const;
    // As phrase, with "" in place of null.
    std::string_view text(int32_t number) const;

    // Writes the table as a language file, the current language first.
    // false when the file cannot be created or a write falls short.
    bool save(const qxval& file_name) const;
    // The clear text that save enciphers.
    std::string clear_text() const;

    void clear();

    // Used while building from a document.
    void add_language(const qxval& short_name, const qxval& full_name);
    void set_width(int32_t width);
    void set_phrase(int32_t row, int32_t number, std::string_view text);

private:
    int32_t load_stream(const qxval& file_name, qxval& error_out, bool enciphered);

    lang_key_material keys_;
    int32_t current_ = 0;
    int32_t width_ = 0;
    // rows_[language][number]; an empty text stands for a missing phrase
    // (only non-empty texts are ever stored).
    std::vector<std::vector<std::string>> rows_;
};

// The message for a load result, as start-up would show it.
const char* lang_status_text(int32_t status);
// Caption that goes with those messages.
inline constexpr const char* lang_status_caption = "Error";

// Phrase number that explains a transport or control-stream code (1000-1004,
// 1099, 1100, 2000-2005), or -1 when the code has none.
int32_t transport_phrase_number(int32_t code);
// That phrase's text from the table, or null.
const char* transport_phrase(const qxlang& lang, int32_t code);

}  // namespace qvtf
