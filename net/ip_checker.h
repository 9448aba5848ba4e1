#pragma once
// Admission rules for accepted peers: (value, mask) pairs over addresses in
// network byte order, plus a mask of bits every admitted address must hold.

#include <cstdint>
#include <vector>

#include "net/socket_address.h"

namespace qvtf {

class ip_checker {
public:
    struct rule {
        uint32_t value;
        uint32_t mask;
    };
    // A new checker holds one rule (0, 0): every address matches it.
    std::vector<rule> rules{rule{0, 0}};
    uint32_t required_mask = 0;

    int32_t count() const { return static_cast<int32_t>(rules.size()); }
    void add_rule(uint32_t value, uint32_t mask) { rules.push_back(rule{value, mask}); }
    void clear_rules() { rules.clear(); }

    // True when address (network order) is not admitted: it lacks a bit of
    // the required mask, or no rule matches it. No rules admit everyone.
    bool is_refused(uint32_t address) const;
    // The rules are IPv4 masks: an IPv4 (or mapped) peer goes through them;
    // an IPv6 peer is admitted only while the rules admit everyone.
    bool is_refused(const socket_address& peer) const;
};

}  // namespace qvtf
