// qxsgml: the incremental markup scanner. Input arrives in chunks (push);
// run scans what has arrived and may be called again after every chunk.
// Bytes outside markup are collected as text; "<" starts a markup token whose
// kind is decided by its first bytes. Kinds outside kept_mask fall back to
// text, so a reader sees only the markup it knows. Finished text goes to
// text_done, finished tokens to token_done; derived classes build from them.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/qxchar.h"
#include "core/qxlexer.h"
#include "core/qxval.h"

namespace qvtf {

// The byte-level lexer under the markup scanners: bytes pass through as
// they are (no decoding of multi-byte forms), with lines and columns counted.
class qx_unicode_lexer : public qxlexer {};

class qxsgml : public qx_unicode_lexer {
public:
    // run results besides run_more (0) and run_done (2).
    static constexpr int run_size_exceeded = 1;
    static constexpr int run_unknown_error = 3;
    static constexpr int run_misplaced_end_tag = 10000;
    static constexpr int run_unclosed_tag = 10001;

    // Bit k-1 keeps kind k (1..15); every form by default.
    int32_t kept_mask = 0x7fff;

    qxsgml() = default;

    // Scans the queued input. 0: wants more input; 2: the document is
    // complete; anything else is an error code, and stays the result of
    // every later run until reset_reader.
    int run() override;
    void reset_reader() override;

    // End of input: the collected text becomes a last node. An undecided
    // "<..." at the very end is text; a kept token left open is an unclosed
    // tag. Returns 2 or an error code.
    virtual int finish();
    // A finished run of text (raw, not decoded); 0 or an error code.
    virtual int text_done(qxval& raw);
    // A finished kept token with its kind (3 for a start tag ending in
    // "/>"); 0 or an error code.
    virtual int token_done(int32_t kind, qxval& raw);

    // The kind named by the first bytes of a token ("<" included), 0 while
    // a longer prefix could still decide otherwise.
    static int32_t classify(std::string_view token);
    // The bytes a kept token of this kind ends with.
    static std::string_view terminator(int32_t kind);

    bool kept(int32_t kind) const { return kind >= 1 && kind <= 15 && (kept_mask >> (kind - 1)) & 1; }

private:
    int scan_byte(char c);
    int flush_text();

    qxchar text_;             // text collected since the last markup
    qxchar token_;            // markup token being read, "<" included
    int32_t token_kind_ = 0;  // 0 while undecided
    bool in_markup_ = false;
    int status_ = 0;  // sticky result once done or failed
};

}  // namespace qvtf
