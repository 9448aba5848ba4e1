#include "remote/certificate_trust.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/qxfiles_atomic.h"

namespace qvtf {

namespace {

bool is_fingerprint(const std::string& text)
{
    // 32 hex pairs and 31 colons.
    if (text.size() != 95)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool colon_place = i % 3 == 2;
        if (colon_place ? text[i] != ':' : !std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

certificate_trust::certificate_trust(std::string trust_file, std::string ca_file)
    : trust_file_(std::move(trust_file)), ca_file_(std::move(ca_file))
{
}

void certificate_trust::set_judge(std::shared_ptr<certificate_judge> judge)
{
    std::lock_guard lock(mutex_);
    judge_ = std::move(judge);
}

std::string certificate_trust::key(const std::string& host, int32_t port)
{
    // Host names are case-blind; an IPv6 literal keeps its brackets apart
    // from the port.
    std::string lower;
    for (char c : host)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find(':') != std::string::npos)
        lower = "[" + lower + "]";
    return lower + ":" + std::to_string(port);
}

std::string certificate_trust::line_for(const std::string& host, int32_t port, const std::string& sha256)
{
    return key(host, port) + " " + upper(sha256);
}

std::map<std::string, std::string> certificate_trust::read_file() const
{
    std::map<std::string, std::string> entries;
    if (trust_file_.empty())
        return entries;
    std::ifstream in(trust_file_);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string where, fingerprint;
        // Comments, blank and malformed lines are skipped, never guessed at.
        if (line.empty() || line[0] == '#' || !(fields >> where >> fingerprint) || !is_fingerprint(fingerprint))
            continue;
        entries[where] = upper(fingerprint);
    }
    return entries;
}

std::string certificate_trust::stored(const std::string& host, int32_t port) const
{
    std::lock_guard lock(mutex_);
    const auto entries = read_file();
    const auto found = entries.find(key(host, port));
    return found == entries.end() ? std::string() : found->second;
}

bool certificate_trust::remember(const std::string& host, int32_t port, const std::string& sha256)
{
    if (trust_file_.empty() || !is_fingerprint(sha256))
        return false;
    std::lock_guard lock(mutex_);
    auto entries = read_file();
    entries[key(host, port)] = upper(sha256);
    std::string text = "# Server certificates trusted by their SHA-256 fingerprint: host:port fingerprint\n";
    for (const auto& [where, fingerprint] : entries)
        text += where + " " + fingerprint + "\n";
    return make_private_folders_for(trust_file_) && write_file_atomic(qxval(trust_file_), text, 0600);
}

bool certificate_trust::accept(certificate_facts& facts)
{
    const std::string fingerprint = upper(facts.sha256);
    if (!is_fingerprint(fingerprint))
        return false;
    std::lock_guard one_at_a_time(judging_);
    std::shared_ptr<certificate_judge> judge;
    {
        std::lock_guard lock(mutex_);
        const std::string where = key(facts.host, facts.port);
        if (once_.count(where + " " + fingerprint))
            return true;
        const auto entries = read_file();
        const auto found = entries.find(where);
        if (found != entries.end() && found->second == fingerprint)
            return true;
        facts.stored_sha256 = found != entries.end() ? found->second : std::string();
        judge = judge_;
    }
    if (!judge)
        return false;
    const certificate_verdict verdict = judge->judge(facts);
    if (verdict == certificate_verdict::reject)
        return false;
    {
        std::lock_guard lock(mutex_);
        once_.insert(key(facts.host, facts.port) + " " + fingerprint);
    }
    if (verdict == certificate_verdict::trust_always)
        remember(facts.host, facts.port, fingerprint);
    return true;
}

}  // namespace qvtf
