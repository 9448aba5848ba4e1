// keyring_vault: the desktop's keyring (a Secret Service, or the KDE wallet)
// through QtKeychain, as the password keeper's vault. Entries live under the
// service "qvtf". Never falls back to storing in clear text.
//
// Window thread only: QtKeychain's jobs finish on that thread's event loop,
// so each call runs the loop until its job ends, at most a bound; the window
// keeps painting meanwhile. After one job has run out of time the keyring
// counts as absent for the rest of the run, so that no later call waits again.
#pragma once

#include <memory>

#include "settings/password_keeper.h"

namespace QKeychain {
class Job;
}
namespace qvtf {
class qxlang;
}

class keyring_vault : public qvtf::password_vault {
public:
    static constexpr const char* service = "qvtf";

    // bound_ms: how long one job may take; the first may have to wait for
    // the user to unlock the keyring.
    explicit keyring_vault(const qvtf::qxlang* language, int bound_ms = 30000);

    bool available(std::string& why) override;
    bool write(const std::string& name, const std::string& secret, std::string& why) override;
    bool read(const std::string& name, std::string& secret, bool& found, std::string& why) override;
    bool remove(const std::string& name, std::string& why) override;

private:
    // Runs job for the entry name until it ends, at most the bound; false
    // with why when the keyring counts as absent or did not answer in time.
    bool run(std::unique_ptr<QKeychain::Job>& job, const std::string& name, std::string& why);

    const qvtf::qxlang* language_;
    int bound_ms_;
    int state_ = 0;  // 0 not asked yet, 1 answers, 2 absent
    std::string why_absent_;
};
