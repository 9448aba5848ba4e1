#pragma once
// qxcgi: a key-to-values map filled from a markup file, with the text of the
// last error that filling it met.

#include "core/qxhash_array.h"

namespace qvtf {

class qxcgi : public qxhash_array {
public:
    qxval last_error{""};
};

}  // namespace qvtf
