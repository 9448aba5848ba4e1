// Which server certificates a session accepts beyond those the system's
// authorities vouch for. The session asks only when verification failed:
// a certificate stored for the host and port is accepted without a word; a
// stored one that differs is a loud warning for the judge, never accepted
// silently; anything else goes to the judge (the window's prompt). Without
// a judge it is refused. One object is shared by a browser connection and
// its queue workers, so "trust once" holds for all of them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace qvtf {

// The trust file's name in the user folder.
inline constexpr const char* trusted_certificates_file = "trusted_certificates.txt";

struct certificate_facts {
    std::string host;
    int32_t port = 0;
    std::string subject;
    std::string issuer;
    std::string not_before;
    std::string not_after;
    std::string sha256;  // hex pairs joined by colons
    std::string reason;  // why verification failed
    // The fingerprint the trust file holds for this host and port when it
    // is another one: the certificate changed.
    std::string stored_sha256;
};

// What the user is shown of a connection's protection.
struct connection_security {
    bool encrypted = false;       // the control connection
    bool data_protected = false;  // PROT P: data connections too
    std::string version;
    std::string cipher;
    bool verified = false;  // by the authorities, not by the user's trust
    certificate_facts certificate;
};

enum class certificate_verdict { reject, trust_once, trust_always };

// Decides about one certificate; may block (the window asks the user).
class certificate_judge {
public:
    virtual ~certificate_judge() = default;
    virtual certificate_verdict judge(const certificate_facts& facts) = 0;
};

class certificate_trust {
public:
    // trust_file: "host:port fingerprint" lines; empty: nothing is stored.
    // ca_file: PEM certificates trusted besides the system's.
    explicit certificate_trust(std::string trust_file = "", std::string ca_file = "");

    const std::string& ca_file() const { return ca_file_; }
    const std::string& trust_file() const { return trust_file_; }
    void set_judge(std::shared_ptr<certificate_judge> judge);

    // facts.stored_sha256 is filled in for the judge. True when the
    // certificate is accepted; "always" is saved at once.
    bool accept(certificate_facts& facts);
    // The fingerprint stored for host:port, or "".
    std::string stored(const std::string& host, int32_t port) const;
    // Stores (replacing) and saves the file; false when it cannot be saved.
    bool remember(const std::string& host, int32_t port, const std::string& sha256);

    // The trust file's line for a certificate (what the CLI tells the user
    // to add).
    static std::string line_for(const std::string& host, int32_t port, const std::string& sha256);

private:
    static std::string key(const std::string& host, int32_t port);
    std::map<std::string, std::string> read_file() const;

    const std::string trust_file_;
    const std::string ca_file_;
    // One question at a time: a second connection to the same server waits
    // and then finds the first answer.
    std::mutex judging_;
    mutable std::mutex mutex_;  // everything below
    std::shared_ptr<certificate_judge> judge_;
    std::set<std::string> once_;  // key + " " + fingerprint
};

}  // namespace qvtf
