#pragma once
// qxval: the tagged value that carries every string, number and flag between
// subsystems. It owns its text and copies deeply; a pointer value owns nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/qxchar.h"

namespace qvtf {

// Tag numbers matter: add() decides by their sum.
enum class qxval_kind : uint16_t {
    string = 2,
    boolean = 5,
    integer = 11,
    real = 23,      // 64-bit double
    pointer = 101,  // untyped, never owned
};

class qxval {
public:
    uint16_t kind = static_cast<uint16_t>(qxval_kind::integer);
    union scalar {
        uint8_t b;
        int32_t i;
        void* p;
        double d;
        uint64_t raw;
    } slot{};
    // Kind string: the value. Other kinds: cache filled by text_view().
    mutable qxchar text;

    qxval() { slot.raw = 0; }
    qxval(int32_t v) { set_int(v); }
    qxval(char c) { set_char(c); }
    qxval(const char* s) { set_string(s); }
    qxval(std::string_view s) { set_bytes(s.data(), static_cast<int32_t>(s.size())); }
    qxval(const std::string& s) { set_bytes(s.data(), static_cast<int32_t>(s.size())); }
    qxval(void* p) { set_pointer(p); }
    qxval(std::nullptr_t) { set_pointer(nullptr); }
    qxval(double d) { set_double(d); }
    qxval(const qxval& other) { assign_copy(other); }
    qxval(qxval&& other) noexcept { assign_move(other); }
    qxval& operator=(const qxval& other)
    {
        assign_copy(other);
        return *this;
    }
    qxval& operator=(qxval&& other) noexcept
    {
        assign_move(other);
        return *this;
    }
    ~qxval() = default;

    qxval_kind type() const { return static_cast<qxval_kind>(kind); }
    bool is(qxval_kind k) const { return kind == static_cast<uint16_t>(k); }
    bool is_string() const { return is(qxval_kind::string); }

    void set_int(int32_t v);
    void set_bool(bool v);
    void set_double(double v);
    void set_pointer(void* p);
    void set_char(char c);
    void set_string(const char* s);  // null gives the empty string
    void set_bytes(const char* bytes, int32_t n);
    void set_bytes(std::string_view s) { set_bytes(s.data(), static_cast<int32_t>(s.size())); }
    void set_text_of(const qxval& other);

    // Kind copied; string bytes deep-copied; other kinds copy the slot only.
    void assign_copy(const qxval& source);
    // As assign_copy, but a string's buffer is taken over and the source
    // is left an empty string.
    void assign_move(qxval& source);

    // Fills the text cache with the text form and returns it; the kind stays.
    const qxchar& text_view() const;
    std::string_view view() const { return text_view().view(); }
    std::string str() const { return std::string(view()); }
    // Zero-terminated text form; valid until the value changes.
    const char* c_str() const;

    // Changes kind and converts. Nothing for the same kind, tags 0 and 1,
    // tags of 47 and above (so never to pointer), and unknown tags.
    void convert_to(uint16_t target);
    void convert_to(qxval_kind target) { convert_to(static_cast<uint16_t>(target)); }

    bool as_bool() const;
    int32_t as_int() const;
    void* as_pointer() const;
    double as_double() const;
    char first_char() const;

    // Numeric "+=" decided by the sum of the two kind tags; never concatenates.
    void add(qxval other);

private:
    void format_into(qxchar& out) const;
};

// Byte-wise comparison of the text forms; <0, 0, >0.
int compare(const qxval& a, const qxval& b);
int compare_bytes(std::string_view a, std::string_view b);
// Case-insensitive comparison of the text forms as C strings.
int compare_nocase(const qxval& a, const qxval& b);

// C-library atol of a text, saturated to 32 bits as on a 32-bit long.
int32_t text_to_int(const char* s);
// Text form of a double: "0" outside 1e-10..1e18, else trimmed fixed point.
void format_double(double x, qxchar& out);

}  // namespace qvtf
