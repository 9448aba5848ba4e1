#pragma once
// MD5 message digest (RFC 1321). Used to turn key text into DES keys; it is
// not a security primitive here, only a stable way to derive bytes.

#include <array>
#include <cstdint>
#include <string_view>

namespace qvtf {

class qxmd5 {
public:
    using digest = std::array<std::uint8_t, 16>;

    qxmd5() { reset(); }

    void reset();
    void update(const void* data, std::size_t size);
    void update(std::string_view text) { update(text.data(), text.size()); }
    // Pads, appends the bit length and returns the digest; the object is
    // reset afterwards so it can be reused.
    digest finish();

    static digest of(std::string_view text);

private:
    void transform(const std::uint8_t block[64]);

    std::uint32_t state_[4];
    std::uint64_t bytes_;      // total message length so far
    std::uint8_t buffer_[64];  // partial block
};

}  // namespace qvtf
