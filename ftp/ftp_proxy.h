// Proxy definitions: the FTP firewalls (login by command script) and SOCKS
// proxies through which sessions reach their servers, kept as the <proxies>
// block of the settings file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/qxarr.h"
#include "core/qxval.h"
#include "remote/remote_proxy.h"

namespace qvtf {

struct ftp_profile;
struct xml_node;
template <class T>
class qxe_tree;

// How sessions choose their proxy.
enum ftp_proxy_choice : int32_t {
    proxy_choice_none = 0,      // direct connections
    proxy_choice_default = 1,   // every site uses the default proxy
    proxy_choice_per_site = 2,  // each site names its proxy by key
};

class ftp_proxy_collection {
public:
    qxval default_key{""};  // empty when there is no default
    int32_t default_proxy_type = proxy_choice_none;

    ftp_proxy_collection() = default;
    ftp_proxy_collection(const ftp_proxy_collection&) = delete;
    ftp_proxy_collection& operator=(const ftp_proxy_collection&) = delete;

    int32_t count() const { return static_cast<int32_t>(proxies_.size()); }
    bool empty() const { return proxies_.empty(); }
    // Null when i is out of range.
    ftp_proxy* at(int32_t i) const;
    ftp_proxy* first() const { return at(0); }

    void clear();
    // The first proxy whose key has exactly these bytes, or null.
    ftp_proxy* find(const qxval& key) const;
    // Empties the default key, then takes the proxy's key if it is listed.
    void set_default(const ftp_proxy* proxy);
    // A proxy with the defaults and a new key, appended; null without memory.
    ftp_proxy* add_new();
    // Appends the <proxies> block to lines, one string per line, passwords
    // scrambled with key; none when store_passwords is false, nor those the
    // keyring keeps. Returns 0.
    int write(qxarr& lines, const qxval& key, bool store_passwords = true) const;
    // Replaces the collection with the block at node (the <proxies> element)
    // of document. Passwords stay as stored (Base64 of the scrambled record).
    // Returns 0.
    int read(const qxe_tree<xml_node>& document, const xml_node* node);
    // The proxy a site's sessions use: the default, the site's own, or none.
    std::optional<ftp_proxy> proxy_for(const ftp_profile& site) const;

private:
    // A proxy with the defaults appended, no key set.
    ftp_proxy* append_blank();
    std::vector<std::unique_ptr<ftp_proxy>> proxies_;
};

}  // namespace qvtf
