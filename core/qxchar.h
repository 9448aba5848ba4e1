#pragma once
// Growable byte string embedded in every qxval. Not NUL-terminated except
// on demand (c_str). Allocation failure leaves the string empty; nothing throws.

#include <cstdint>
#include <string_view>

namespace qvtf {

class qxchar {
public:
    int32_t capacity = 0;  // bytes allocated
    int32_t length = 0;    // bytes in use
    char* data = nullptr;  // C-allocator block, null when nothing is allocated

    qxchar() = default;
    explicit qxchar(const char* s);
    qxchar(const qxchar& other);
    qxchar(qxchar&& other) noexcept;
    qxchar& operator=(const qxchar& other);
    qxchar& operator=(qxchar&& other) noexcept;
    ~qxchar();

    // Fresh buffer for n bytes, content undefined, length n; n <= 0 frees.
    void set_size(int32_t n);
    // Change the length to n, keeping content; grows to n + n/16 + 4 when needed.
    void resize(int32_t n);
    void append_byte(char b);
    // Terminates the buffer without changing the length. Never null.
    char* c_str();

    void assign(const char* s);
    void assign(const char* bytes, int32_t n);
    void assign(std::string_view s) { assign(s.data(), static_cast<int32_t>(s.size())); }
    void assign(const qxchar& other);
    void append(const char* s);
    void append(const char* bytes, int32_t n);
    void append(std::string_view s) { append(s.data(), static_cast<int32_t>(s.size())); }
    void append(const qxchar& other);
    // Takes over the source's buffer; the source is left empty.
    void take(qxchar& source);
    // Frees the buffer: capacity 0, length 0.
    void release();

    bool empty() const { return length == 0; }
    std::string_view view() const
    {
        return data ? std::string_view(data, static_cast<size_t>(length)) : std::string_view();
    }

    // Bytes requested for a buffer of n bytes: n + n/16 + 4, or -1 when that
    // does not fit a signed 32-bit size.
    static int64_t grown_size(int64_t n);

private:
    bool reallocate(int64_t want);
};

}  // namespace qvtf
