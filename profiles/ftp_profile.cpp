#include "profiles/ftp_profile.h"

#include <new>

namespace qvtf {

ftp_profile* ftp_profile::make(int32_t kind)
{
    auto* node = new (std::nothrow) ftp_profile;
    if (node) {
        node->kind = kind;
        if (kind == profile_site)
            node->encryption = encryption_explicit_if_available;
    }
    return node;
}

}  // namespace qvtf
