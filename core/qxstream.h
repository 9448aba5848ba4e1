#pragma once
// qxstream: a qxparser for long-lived byte streams (a control connection's
// received data), allowed to hold up to 16 MiB of unread input.

#include "core/qxparser.h"

namespace qvtf {

class qxstream : public qxparser {
public:
    static constexpr int32_t stream_limit = 16777216;

    qxval text{""};  // working string of the stream's reader

    qxstream() { limit = stream_limit; }
};

}  // namespace qvtf
