// host_key_judge: who decides on an SSH host key that the known-hosts files
// do not vouch for. The window asks the user; qvtf-cli and the queue's
// workers have none, so such a key is refused. Called on the thread that
// logs in, before any password or key goes out.
#pragma once

#include <string>

namespace qvtf {

// The program's own known-hosts file, in the user folder.
inline constexpr const char* own_known_hosts_name = "known_hosts";

struct host_key_question {
    std::string host;  // as the session reached it
    int port = 22;
    std::string key_type;     // "ssh-ed25519", ...
    std::string fingerprint;  // "SHA256:..."
    // The known-hosts files hold another key for the host: someone may be
    // in the middle. known_fingerprint is the stored key's, when readable.
    bool changed = false;
    std::string known_fingerprint;
};

enum class host_key_verdict {
    refuse = 0,
    trust_once = 1,  // an unknown key only; a changed one is refused all the same
    // Added to the program's own known-hosts file; for a changed key, the
    // stored lines of the host in that file are replaced.
    remember = 2,
};

class host_key_judge {
public:
    virtual ~host_key_judge() = default;
    // Must block until decided; must not call back into the session.
    virtual host_key_verdict judge(const host_key_question& question) = 0;
};

}  // namespace qvtf
