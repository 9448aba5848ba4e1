#include "core/qxval.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qvtf {

namespace {

constexpr uint16_t k_string = static_cast<uint16_t>(qxval_kind::string);
constexpr uint16_t k_bool = static_cast<uint16_t>(qxval_kind::boolean);
constexpr uint16_t k_int = static_cast<uint16_t>(qxval_kind::integer);
constexpr uint16_t k_double = static_cast<uint16_t>(qxval_kind::real);
constexpr uint16_t k_pointer = static_cast<uint16_t>(qxval_kind::pointer);

// A pointer on either side makes the tag sum reach this.
constexpr int k_pointer_sum = 47;

// Truncation toward zero keeping the low 32 bits of the 64-bit result;
// values outside the 64-bit range read as the platform's "indefinite" 0x8000...,
// whose low half is 0.
int32_t truncate_double(double d)
{
    if (!(std::fabs(d) < 9.2e18))
        return 0;
    int64_t t = static_cast<int64_t>(d);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(t)));
}

}  // namespace

int32_t text_to_int(const char* s)
{
    if (!s)
        return 0;
    long v = std::strtol(s, nullptr, 10);
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

void format_double(double x, qxchar& out)
{
    double a = std::fabs(x);
    if (a < 1e-10 || a > 1e18) {
        out.assign("0", 1);
        return;
    }
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, a > 100000 ? "%.3f" : "%.8f", x);
    if (n <= 0 || n >= static_cast<int>(sizeof buf)) {
        out.assign("0", 1);
        return;
    }
    if (std::memchr(buf, '.', static_cast<size_t>(n))) {
        while (n > 0 && buf[n - 1] == '0')
            --n;
        if (n > 0 && buf[n - 1] == '.')
            --n;
    }
    out.assign(buf, n);
}

void qxval::set_int(int32_t v)
{
    kind = k_int;
    slot.raw = 0;
    slot.i = v;
}

void qxval::set_bool(bool v)
{
    kind = k_bool;
    slot.raw = 0;
    slot.b = v ? 1 : 0;
}

void qxval::set_double(double v)
{
    kind = k_double;
    slot.d = v;
}

void qxval::set_pointer(void* p)
{
    kind = k_pointer;
    slot.raw = 0;
    slot.p = p;
}

void qxval::set_char(char c)
{
    set_bytes(&c, 1);
}

void qxval::set_string(const char* s)
{
    kind = k_string;
    slot.raw = 0;
    text.assign(s);
}

void qxval::set_bytes(const char* bytes, int32_t n)
{
    kind = k_string;
    slot.raw = 0;
    text.assign(bytes, n);
}

void qxval::set_text_of(const qxval& other)
{
    if (&other == this) {
        convert_to(qxval_kind::string);
        return;
    }
    const qxchar& t = other.text_view();
    set_bytes(t.data, t.length);
}

void qxval::assign_copy(const qxval& source)
{
    if (&source == this)
        return;
    kind = source.kind;
    slot.raw = source.slot.raw;
    if (kind == k_string)
        text.assign(source.text);
}

void qxval::assign_move(qxval& source)
{
    if (&source == this)
        return;
    kind = source.kind;
    slot.raw = source.slot.raw;
    if (kind == k_string) {
        text.take(source.text);
        source.slot.raw = 0;
    }
}

void qxval::format_into(qxchar& out) const
{
    char buf[32];
    int n;
    switch (kind) {
    case k_bool: n = std::snprintf(buf, sizeof buf, "%d", slot.b ? 1 : 0); break;
    case k_int: n = std::snprintf(buf, sizeof buf, "%d", slot.i); break;
    case k_double: format_double(slot.d, out); return;
    default:  // pointer and any unknown tag
        n = std::snprintf(buf, sizeof buf, "0x%llx",
                          static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(slot.p)));
        break;
    }
    if (n <= 0) {
        out.assign("0", 1);
        return;
    }
    out.assign(buf, n);
}

const qxchar& qxval::text_view() const
{
    if (kind != k_string)
        format_into(text);
    return text;
}

const char* qxval::c_str() const
{
    text_view();
    return text.c_str();
}

void qxval::convert_to(uint16_t target)
{
    if (target == kind || target >= k_pointer_sum)
        return;
    switch (target) {
    case k_string:
        if (kind != k_string)
            format_into(text);
        kind = k_string;
        slot.raw = 0;
        break;
    case k_bool: set_bool(as_bool()); break;
    case k_int: set_int(as_int()); break;
    case k_double: set_double(as_double()); break;
    default: break;  // tags 0, 1 and unknown tags convert to nothing
    }
}

bool qxval::as_bool() const
{
    switch (kind) {
    case k_string: return text_to_int(text.c_str()) != 0;
    case k_bool: return slot.b != 0;
    case k_double: return slot.d != 0.0;
    case k_int: return slot.i != 0;
    default: return slot.p != nullptr;
    }
}

int32_t qxval::as_int() const
{
    switch (kind) {
    case k_string: return text_to_int(text.c_str());
    case k_bool: return slot.b ? 1 : 0;
    case k_double: return truncate_double(slot.d);
    case k_int: return slot.i;
    default: return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot.p)));
    }
}

void* qxval::as_pointer() const
{
    switch (kind) {
    case k_bool: return nullptr;
    case k_string:
    case k_double:
    case k_int: return reinterpret_cast<void*>(static_cast<intptr_t>(as_int()));
    default: return slot.p;
    }
}

double qxval::as_double() const
{
    switch (kind) {
    case k_string: return std::strtod(text.c_str(), nullptr);
    case k_bool: return slot.b ? 1.0 : 0.0;
    case k_double: return slot.d;
    case k_int: return slot.i;
    default: return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot.p)));
    }
}

char qxval::first_char() const
{
    if (kind == k_bool)
        return slot.b ? '1' : '0';
    const qxchar& t = text_view();
    return t.length > 0 ? t.data[0] : '\0';
}

void qxval::add(qxval other)
{
    int sum = kind + other.kind;
    if (sum >= k_pointer_sum)
        return;
    if (sum < k_double) {
        convert_to(qxval_kind::integer);
        uint32_t r = static_cast<uint32_t>(slot.i) + static_cast<uint32_t>(other.as_int());
        slot.i = static_cast<int32_t>(r);
        return;
    }
    convert_to(qxval_kind::real);
    slot.d += other.as_double();
}

int compare_bytes(std::string_view a, std::string_view b)
{
    if (a.empty() || b.empty())
        return static_cast<int>(a.size()) - static_cast<int>(b.size());
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        if (d != 0)
            return d;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int compare(const qxval& a, const qxval& b)
{
    if (&a == &b)
        return 0;
    return compare_bytes(a.view(), b.view());
}

int compare_nocase(const qxval& a, const qxval& b)
{
    if (&a == &b)
        return 0;
    return strcasecmp(a.c_str(), b.c_str());
}

}  // namespace qvtf
