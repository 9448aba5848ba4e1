// password_keeper: keeps every site and proxy password where the settings
// want it: in the desktop's keyring when one answers, scrambled in the site
// and settings files otherwise, or nowhere (asked at connect).
//
// A password moves one way at a time and is never in fewer than one place:
// into the keyring it is written, read back and compared before its file
// drops it; out of the keyring its file takes it first, and the keyring
// entry goes only once that file has been saved. A failed step leaves the
// password where it was and says why in the log.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/qxval.h"

namespace qvtf {

class ftp_profile_tree;
class global_ftp_settings;
class qxlang;

// The keyring as the keeper sees it. Calls are made on one thread (the
// window's); an implementation may run its own event loop, bounded, while
// it waits for an answer.
class password_vault {
public:
    virtual ~password_vault() = default;
    // Whether a keyring answers; asked once per settle, may be cached.
    virtual bool available(std::string& why) = 0;
    // false with why on failure.
    virtual bool write(const std::string& name, const std::string& secret, std::string& why) = 0;
    // found is false (and the call true) when no entry has that name.
    virtual bool read(const std::string& name, std::string& secret, bool& found, std::string& why) = 0;
    // Removing an entry that does not exist succeeds.
    virtual bool remove(const std::string& name, std::string& why) = 0;
};

// Phrases of the keeper's log lines.
inline constexpr int32_t phrase_keyring_moved_in = 1500;
inline constexpr int32_t phrase_keyring_not_moved = 1501;
inline constexpr int32_t phrase_keyring_moved_out = 1502;
inline constexpr int32_t phrase_keyring_not_read = 1503;
inline constexpr int32_t phrase_keyring_none = 1504;
inline constexpr int32_t phrase_keyring_not_removed = 1505;
inline constexpr int32_t phrase_keyring_differs = 1506;
inline constexpr int32_t phrase_keyring_site = 1507;
inline constexpr int32_t phrase_keyring_proxy = 1508;
inline constexpr int32_t phrase_keyring_passphrase = 1509;
inline constexpr int32_t phrase_keyring_not_found = 1510;

class password_keeper {
public:
    // A log line; error for what the user should act on.
    using log_function = std::function<void(const std::string& line, bool error)>;
    // Writes both files; false when either could not be written.
    using save_function = std::function<bool()>;

    // vault null: no keyring at all (the files keep the passwords).
    password_keeper(password_vault* vault, const qxlang* language, log_function log);

    // At start, after both files are loaded: fills in every password whose
    // marker says the keyring keeps it. One that cannot be read stays empty
    // and is asked at connect; the log says why.
    void load(ftp_profile_tree& profiles, global_ftp_settings& settings);

    // Moves passwords to where the settings want them, changed ones included,
    // calls save when a file has to change, and only after a successful save
    // removes keyring entries nothing uses any more. Returns save's answer,
    // true when there was nothing to save.
    bool settle(ftp_profile_tree& profiles, global_ftp_settings& settings, const save_function& save);

    // Runs a change of the sites' or proxies' fields; the window makes it
    // under the queue's lock, as the scheduler copies both into its workers.
    // The keyring is never waited on inside it.
    std::function<void(const std::function<void()>&)> shared_write;

    // Whether the last load or settle found a keyring.
    bool keyring_answered() const { return answered_; }

private:
    struct slot;
    std::vector<slot> slots_of(ftp_profile_tree& profiles, global_ftp_settings& settings);
    bool vault_answers();
    bool settle_slot(slot& s, bool wanted_in_keyring);
    std::string text(int32_t number, const std::string& first, const std::string& second = {}) const;
    void say(int32_t number, const slot& s, const std::string& why, bool error);
    void edit(const std::function<void()>& change) const;

    password_vault* vault_;
    const qxlang* language_;
    log_function log_;
    bool answered_ = false;
    bool told_no_keyring_ = false;
    std::string why_none_;  // why the keyring did not answer
    // What the keyring holds, as far as this run knows: entry -> password.
    std::map<std::string, std::string> held_;
};

}  // namespace qvtf
