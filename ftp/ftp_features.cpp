// FEAT after the login: which extensions the server offers, remembered for
// the session, and UTF-8 names switched on where offered.
#include <cctype>
#include <string>

#include "ftp/ftp_control.h"

namespace qvtf {

namespace {

constexpr int phrase_features_offered = 1150;
constexpr int phrase_no_features = 1151;

bool same_word(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The facts a listing needs, as the FEAT answer names them: "type*;size*;"
// (a star marks those already given). Empty when every one is given, or
// the server names none of them.
std::string facts_to_ask(std::string_view offered)
{
    static constexpr std::string_view wanted[] = {"type",           "size",           "modify",   "perm",
                                                  "unix.mode",      "unix.owner",     "unix.group",
                                                  "unix.ownername", "unix.groupname", "unix.uid", "unix.gid", "unique"};
    std::string ask;
    bool missing = false;
    while (!offered.empty()) {
        const std::size_t end = offered.find(';');
        std::string_view fact = trimmed(offered.substr(0, end));
        offered.remove_prefix(end == std::string_view::npos ? offered.size() : end + 1);
        const bool given = !fact.empty() && fact.back() == '*';
        if (given)
            fact.remove_suffix(1);
        for (std::string_view w : wanted) {
            if (!same_word(fact, w))
                continue;
            ask += std::string(fact) + ";";
            missing = missing || !given;
        }
    }
    return missing ? ask : std::string();
}

}  // namespace

std::string server_features::names() const
{
    std::string out;
    auto add = [&](bool offered, const char* name) {
        if (!offered)
            return;
        if (!out.empty())
            out += ' ';
        out += name;
    };
    add(mlsd, "MLSD");
    add(mlst, "MLST");
    add(mdtm, "MDTM");
    add(mfmt, "MFMT");
    add(size, "SIZE");
    add(rest_stream, "REST STREAM");
    add(utf8, "UTF8");
    add(epsv, "EPSV");
    add(auth_tls, "AUTH TLS");
    return out;
}

server_features ftp_control::parse_features(const qxarr& lines)
{
    server_features f;
    f.known = true;
    // The first and last lines are the reply's own ("211-..." and "211 End");
    // a feature line begins with a space, but some servers leave it out.
    std::size_t index = 0;
    const std::size_t count = std::size_t(lines.count());
    for (const qxval& line : lines) {
        const bool edge = index == 0 || index + 1 == count;
        ++index;
        if (edge)
            continue;
        const std::string_view text = trimmed(line.view());
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        const std::string_view rest = space == std::string_view::npos ? std::string_view() : trimmed(text.substr(space));
        if (same_word(word, "MLST") || same_word(word, "MLSD")) {
            f.mlst = f.mlsd = true;
            if (same_word(word, "MLST"))
                f.mlst_facts = std::string(rest);
        } else if (same_word(word, "MDTM"))
            f.mdtm = true;
        else if (same_word(word, "MFMT"))
            f.mfmt = true;
        else if (same_word(word, "SIZE"))
            f.size = true;
        else if (same_word(word, "REST"))
            f.rest_stream = f.rest_stream || same_word(rest, "STREAM");
        else if (same_word(word, "UTF8"))
            f.utf8 = true;
        else if (same_word(word, "EPSV"))
            f.epsv = true;
        else if (same_word(word, "AUTH"))
            f.auth_tls = f.auth_tls || rest.find("TLS") != std::string_view::npos ||
                         rest.find("tls") != std::string_view::npos;
    }
    return f;
}

remote_result ftp_control::ask_features()
{
    features_ = server_features{};
    if (!options_.ask_features)
        return status_ok;
    if (remote_result status = send_command("FEAT"); !status.ok())
        return status;
    if (!connected())
        return status_not_connected;
    if (reply_code_ != 211) {
        // Servers of the old kind: none of the extensions.
        features_.known = true;
        log(log_info, std::string(phrase(phrase_no_features)) + "\r\n");
        return status_ok;
    }
    features_ = parse_features(reply_lines_);
    if (!options_.use_mlsd)
        features_.mlsd = features_.mlst = false;
    const std::string offered = features_.names();
    log(log_info, std::string(phrase(offered.empty() ? phrase_no_features : phrase_features_offered)) + offered + "\r\n");
    // Facts the server has but does not give unasked, the modes and owners
    // among them: asked for once, for every listing of this login.
    if (const std::string ask = facts_to_ask(features_.mlst_facts); features_.mlsd && !ask.empty()) {
        if (remote_result status = send_command("OPTS MLST " + ask); !status.ok())
            return status;
    }
    if (features_.utf8) {
        // Names go through as bytes either way; a refusal changes nothing.
        if (remote_result status = send_command("OPTS UTF8 ON"); !status.ok())
            return status;
    }
    return status_ok;
}

}  // namespace qvtf
