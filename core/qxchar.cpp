#include "core/qxchar.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qvtf {

int64_t qxchar::grown_size(int64_t n)
{
    int64_t want = n + n / 16 + 4;
    if (n < 0 || want > std::numeric_limits<int32_t>::max())
        return -1;
    return want;
}

qxchar::qxchar(const char* s)
{
    assign(s);
}

qxchar::qxchar(const qxchar& other)
{
    assign(other);
}

qxchar::qxchar(qxchar&& other) noexcept
{
    take(other);
}

qxchar& qxchar::operator=(const qxchar& other)
{
    assign(other);
    return *this;
}

qxchar& qxchar::operator=(qxchar&& other) noexcept
{
    take(other);
    return *this;
}

qxchar::~qxchar()
{
    std::free(data);
}

void qxchar::release()
{
    std::free(data);
    data = nullptr;
    capacity = 0;
    length = 0;
}

// Content-keeping reallocation; on failure the string becomes empty.
bool qxchar::reallocate(int64_t want)
{
    if (want <= 0) {
        release();
        return false;
    }
    void* block = std::realloc(data, static_cast<size_t>(want));
    if (!block) {
        release();
        return false;
    }
    data = static_cast<char*>(block);
    capacity = static_cast<int32_t>(want);
    if (length > capacity)
        length = capacity;
    return true;
}

void qxchar::set_size(int32_t n)
{
    release();
    if (n <= 0)
        return;
    int64_t want = grown_size(n);
    if (want < 0)
        return;
    data = static_cast<char*>(std::malloc(static_cast<size_t>(want)));
    if (!data)
        return;
    capacity = static_cast<int32_t>(want);
    length = n;
}

void qxchar::resize(int32_t n)
{
    if (n < 0 || n == length)
        return;
    if (n > capacity && !reallocate(grown_size(n)))
        return;
    length = n;
}

void qxchar::append_byte(char b)
{
    if (length >= capacity && !reallocate(grown_size(length)))
        return;
    data[length++] = b;
}

char* qxchar::c_str()
{
    static char empty_text[1] = {0};
    append_byte('\0');
    if (!data)
        return empty_text;  // allocation failed: still a valid empty C string
    --length;
    return data;
}

void qxchar::assign(const char* bytes, int32_t n)
{
    if (bytes && data && bytes >= data && bytes < data + capacity) {
        // Source lies inside our own buffer: move it to the front.
        if (n > 0)
            std::memmove(data, bytes, static_cast<size_t>(n));
        length = n > 0 ? n : 0;
        return;
    }
    length = 0;
    append(bytes, n);
}

void qxchar::assign(const char* s)
{
    assign(s, s ? static_cast<int32_t>(std::strlen(s)) : 0);
}

void qxchar::assign(const qxchar& other)
{
    if (&other == this)
        return;
    assign(other.data, other.length);
}

void qxchar::append(const char* bytes, int32_t n)
{
    if (!bytes || n <= 0)
        return;
    int64_t total = static_cast<int64_t>(length) + n;
    if (total > capacity) {
        // The source may live inside our own buffer, which realloc can move.
        std::ptrdiff_t inside = (data && bytes >= data && bytes < data + capacity) ? bytes - data : -1;
        int64_t want = grown_size(total);
        if (want < 0 || !reallocate(want))
            return;
        if (inside >= 0)
            bytes = data + inside;
    }
    std::memmove(data + length, bytes, static_cast<size_t>(n));
    length = static_cast<int32_t>(total);
}

void qxchar::append(const char* s)
{
    if (s)
        append(s, static_cast<int32_t>(std::strlen(s)));
}

void qxchar::append(const qxchar& other)
{
    if (other.length > 0)
        append(other.data, other.length);
}

void qxchar::take(qxchar& source)
{
    if (&source == this)
        return;
    std::free(data);
    data = source.data;
    capacity = source.capacity;
    length = source.length;
    source.data = nullptr;
    source.capacity = 0;
    source.length = 0;
}

}  // namespace qvtf
