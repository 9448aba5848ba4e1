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

}  // namespace qvtf
