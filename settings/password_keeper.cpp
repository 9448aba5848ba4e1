#include "settings/password_keeper.h"

#include <set>

#include "core/qxencode.h"
#include "core/qxscramble.h"
#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

struct password_keeper::slot {
    qxval* secret;
    int32_t* place;
    std::string name;  // the keyring entry
    std::string what;  // for the log
    bool kept;         // the site or proxy wants its password stored
};

namespace {

std::string hex_of(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string new_keyring_id()
{
    unsigned char bytes[8] = {};
    if (!secure_random_bytes(bytes, sizeof bytes))
        return {};
    return hex_of(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

void replace_all(std::string& text, std::string_view mark, const std::string& value)
{
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
        text.replace(at, mark.size(), value);
}

}  // namespace

password_keeper::password_keeper(password_vault* vault, const qxlang* language, log_function log)
    : vault_(vault), language_(language), log_(std::move(log))
{
}

std::string password_keeper::text(int32_t number, const std::string& first, const std::string& second) const
{
    std::string line(language_ ? language_->text(number) : std::string_view());
    if (line.empty())
        line = "%1 %2";
    replace_all(line, "%1", first);
    replace_all(line, "%2", second);
    return line;
}

void password_keeper::edit(const std::function<void()>& change) const
{
    if (shared_write)
        shared_write(change);
    else
        change();
}

void password_keeper::say(int32_t number, const slot& s, const std::string& why, bool error)
{
    if (log_)
        log_(text(number, s.what, why), error);
}

std::vector<password_keeper::slot> password_keeper::slots_of(ftp_profile_tree& profiles, global_ftp_settings& settings)
{
    std::vector<slot> slots;
    std::set<std::string> ids;
    for (const ftp_profile_entry& entry : profiles.entries()) {
        ftp_profile& site = *entry.node;
        if (!site.is_site())
            continue;
        // A copied site shares its original's id; its own entry keeps the
        // two apart once either password changes.
        if (vault_ && (site.keyring_id.view().empty() || ids.count(site.keyring_id.str()))) {
            const std::string id = new_keyring_id();
            edit([&] { site.keyring_id.set_bytes(id); });
        }
        ids.insert(site.keyring_id.str());
        const bool kept = site.save_password && !site.anonymous_login;
        const std::string name = "site:" + site.keyring_id.str();
        slots.push_back({&site.password, &site.password_place, name, text(phrase_keyring_site, entry.path), kept});
        if (site.protocol == 1)
            slots.push_back({&site.ssh_key_passphrase, &site.passphrase_place, name + ":passphrase",
                             text(phrase_keyring_passphrase, entry.path), kept});
    }
    for (int32_t i = 0; i < settings.proxies.count(); ++i) {
        ftp_proxy& proxy = *settings.proxies.at(i);
        slots.push_back({&proxy.proxy_password, &proxy.password_place, "proxy:" + hex_of(proxy.key.view()),
                         text(phrase_keyring_proxy, proxy.label.str()), true});
    }
    return slots;
}

bool password_keeper::vault_answers()
{
    why_none_.clear();
    answered_ = vault_ && vault_->available(why_none_);
    if (!answered_ && vault_ && !told_no_keyring_ && log_) {
        told_no_keyring_ = true;
        log_(text(phrase_keyring_none, why_none_), false);
    }
    return answered_;
}

void password_keeper::load(ftp_profile_tree& profiles, global_ftp_settings& settings)
{
    std::vector<slot> slots = slots_of(profiles, settings);
    bool keyring = false;
    bool asked = false;
    for (slot& s : slots) {
        if (*s.place != password_in_keyring)
            continue;
        if (!asked) {
            keyring = vault_answers();
            asked = true;
        }
        std::string why = why_none_;
        std::string secret;
        bool found = false;
        if (!keyring || !vault_->read(s.name, secret, found, why))
            say(phrase_keyring_not_read, s, why, true);
        else if (!found)
            say(phrase_keyring_not_found, s, {}, true);
        else {
            edit([&] { s.secret->set_bytes(secret); });
            held_[s.name] = secret;
        }
    }
}

bool password_keeper::settle_slot(slot& s, bool wanted_in_keyring)
{
    const std::string secret = s.secret->str();
    const auto held = held_.find(s.name);
    if (*s.place == password_in_keyring) {
        // What this run never read cannot move: it stays where the marker says.
        if (secret.empty() && held == held_.end())
            return false;
        if (wanted_in_keyring && !secret.empty() && held != held_.end() && held->second == secret)
            return false;
    } else if (!wanted_in_keyring || secret.empty()) {
        return false;
    }
    std::string why;
    if (wanted_in_keyring && !secret.empty()) {
        std::string back;
        bool found = false;
        if (vault_->write(s.name, secret, why) && vault_->read(s.name, back, found, why)) {
            if (found && back == secret) {
                held_[s.name] = secret;
                if (*s.place == password_in_keyring)
                    return false;
                edit([&] { *s.place = password_in_keyring; });
                say(phrase_keyring_moved_in, s, {}, false);
                return true;
            }
            why = text(phrase_keyring_differs, "");
        }
        // The entry may now hold anything: nothing uses it.
        held_.erase(s.name);
        if (*s.place == password_in_file) {
            std::string ignored;
            vault_->remove(s.name, ignored);
            say(phrase_keyring_not_moved, s, why, true);
            return false;
        }
        // A changed password the keyring refused: the file keeps it.
    }
    edit([&] { *s.place = password_in_file; });
    say(phrase_keyring_moved_out, s, why, !why.empty());
    return true;
}

bool password_keeper::settle(ftp_profile_tree& profiles, global_ftp_settings& settings, const save_function& save)
{
    const int32_t storage = settings.password_storage;
    bool changed = profiles.store_passwords != (storage != passwords_not_stored);
    edit([&] { profiles.store_passwords = storage != passwords_not_stored; });
    std::vector<slot> slots = slots_of(profiles, settings);
    bool keyring = false;
    bool asked = false;
    for (slot& s : slots) {
        const bool touches = *s.place == password_in_keyring ||
                             (storage == passwords_in_keyring && s.kept && !s.secret->view().empty());
        if (!touches)
            continue;
        if (!asked) {
            keyring = vault_answers();
            asked = true;
        }
        // A keyring that does not answer now may answer next time: what it
        // keeps stays there rather than landing in a file. Only a password
        // typed this run goes to the file, as it has nowhere else to go.
        if (*s.place == password_in_keyring && !keyring && storage == passwords_in_keyring) {
            const auto held = held_.find(s.name);
            if (s.secret->view().empty() || (held != held_.end() && held->second == s.secret->view()))
                continue;
        }
        const bool wanted = keyring && s.kept && storage == passwords_in_keyring;
        if (!keyring && *s.place == password_in_file)
            continue;
        changed = settle_slot(s, wanted) || changed;
    }
    if (changed && save && !save())
        return false;
    // Only now that the files hold what left the keyring may it go.
    std::set<std::string> used;
    for (const slot& s : slots)
        if (*s.place == password_in_keyring)
            used.insert(s.name);
    std::vector<std::string> unused;
    for (const auto& [name, secret] : held_)
        if (!used.count(name))
            unused.push_back(name);
    if (!unused.empty() && !asked)
        keyring = vault_answers();
    for (const std::string& name : unused) {
        std::string why;
        if (!keyring)
            break;
        if (vault_->remove(name, why))
            held_.erase(name);
        else if (log_)
            log_(text(phrase_keyring_not_removed, name, why), true);
    }
    return true;
}

}  // namespace qvtf
