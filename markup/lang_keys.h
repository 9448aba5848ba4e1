// Fixed key material of the language file. It only keeps the phrase texts
// from being read or edited casually; it protects no secret, so it is built
// into the program rather than drawn per installation.
#pragma once

#include <cstdint>

namespace qvtf {

struct lang_key_material {
    std::uint8_t block1[8];
    std::uint8_t block2[8];
    std::uint8_t block3[8];
    std::uint8_t iv[8];
};

// The material every copy of the program shares; save and load of the
// shipped "qorx.bin" both use it.
const lang_key_material& program_lang_keys();

}  // namespace qvtf
