#include "net/ip_checker.h"

namespace qvtf {

bool ip_checker::is_refused(uint32_t address) const
{
    if (rules.empty())
        return false;
    if ((address & required_mask) != required_mask)
        return true;
    // The last rule added is tried first.
    for (auto r = rules.rbegin(); r != rules.rend(); ++r)
        if (r->value == (address & r->mask))
            return false;
    return true;
}

bool ip_checker::is_refused(const socket_address& peer) const
{
    uint32_t v4 = 0;
    if (peer.ipv4(v4))
        return is_refused(v4);
    if (rules.empty())
        return false;
    if (required_mask != 0)
        return true;
    for (const rule& r : rules)
        if (r.mask == 0 && r.value == 0)
            return false;
    return true;
}

}  // namespace qvtf
