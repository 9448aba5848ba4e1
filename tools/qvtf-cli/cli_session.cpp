#include "tools/qvtf-cli/cli_session.h"

#include <algorithm>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "browse/listing_parser.h"
#include "protocols/remote_factory.h"
#include "remote/host_key_judge.h"
#include "remote/remote_folder_guard.h"
#include "net/transport_status.h"
#include "settings/session_options.h"
#include "tools/qvtf-cli/cli_program.h"
#include "tools/qvtf-cli/cli_queue.h"

namespace qvtf::cli {

namespace {
constexpr int phrase_how_to_trust = 1013;
constexpr int phrase_or_ca_file = 1014;
}  // namespace

namespace {

constexpr int phrase_default_script = 447;  // + firewall type 0..3
constexpr int phrase_line_break = 501;

std::string base_name(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string utc_text(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

qxval bytes_of(const std::string& text)
{
    return qxval(text);
}

// Finds an entry of the current folder by name.
qxfile_node* child_named(remote_session& s, const std::string& name)
{
    if (!s.current_folder())
        return nullptr;
    qxfile_tree::reader hold(s.folder_tree());
    for (qxfile_node* n = s.current_folder()->first_child; n; n = n->next)
        if (n->name.view() == name)
            return n;
    return nullptr;
}

}  // namespace

// Names and replies come from the server: control characters in them must
// not reach the terminal (ESC, OSC, BEL, BS), and a tab would shift the
// columns of ls. They are shown as \xNN, and a backslash as "\\", so the
// text stays unambiguous; the names themselves are not changed.
std::string escaped(std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += ch;
        }
    }
    return out;
}

cli_session::cli_session(const options& opts, std::FILE* out, std::FILE* err)
    : opts_(opts), out_(out), err_(err), type_(opts.type), session_(make_remote_session(remote_protocol::ftp))
{
}

bool cli_session::load_program_files(const program_folders& folders)
{
    if (!load_phrases(folders, lang_, err_))
        return false;
    session_->set_language(&lang_);
    own_known_hosts_ = folders.user_file(own_known_hosts_name);
    if (!opts_.proxy_script.empty()) {
        // A script that cannot be read must not turn into a plain login.
        std::string reason;
        if (!read_whole_file(opts_.proxy_script, proxy_script_, reason)) {
            std::fprintf(err_, "qvtf-cli: cannot read --proxy-script %s: %s\n", opts_.proxy_script.c_str(),
                         reason.c_str());
            return false;
        }
        // Scripts are lines ended by CR LF; accept files with bare LF.
        std::string crlf;
        for (size_t i = 0; i < proxy_script_.size(); ++i) {
            if (proxy_script_[i] == '\n' && (i == 0 || proxy_script_[i - 1] != '\r'))
                crlf += '\r';
            crlf += proxy_script_[i];
        }
        proxy_script_ = crlf;
    }
    trust_file_ = folders.user_file(trusted_certificates_file);
    if (!opts_.site.empty()) {
        site_ = std::make_unique<cli_site>();
        if (!site_->load(folders, lang_, opts_.site, err_))
            return false;
        if (!opts_.was_given("--type")) {
            const int32_t type = site_->settings.transfer_type;
            type_ = type == 1 ? transfer_kind::ascii : type == 2 ? transfer_kind::automatic : transfer_kind::binary;
        }
    } else if (const settings_start_result started = start_settings(user_settings_, folders); started.status) {
        // The worker count and tries of the user's settings apply without
        // --site too; a damaged file must not silently give the defaults.
        std::fprintf(err_, "qvtf-cli: %s: %s (status %d)\n", user_settings_.settings_path.c_str(),
                     std::string(lang_.text(phrase_settings_unreadable)).c_str(), started.status);
        return false;
    }
    if (type_ == transfer_kind::automatic) {
        const std::string ext = folders.extension_list();
        if (const int32_t status = resolver_.load(qxval(ext))) {
            std::fprintf(err_, "qvtf-cli: cannot load %s: %s\n", ext.c_str(),
                         file_failure_reason(ext, "status " + std::to_string(status)).c_str());
            return false;
        }
    }
    return true;
}

void cli_session::on_log_text(remote_session&, std::string_view lines, int kind)
{
    static const char* const prefixes[] = {"< ", "> ", "~ ", "! ", "~ ", "~ "};
    print_lines(err_, kind >= 0 && kind < 6 ? prefixes[kind] : "~ ", lines);
}

void cli_session::print_lines(std::FILE* f, const char* prefix, std::string_view text)
{
    while (!text.empty()) {
        const size_t end = text.find("\r\n");
        const std::string_view line = text.substr(0, end);
        // Most lines need no escape, and then no copy either.
        const bool plain = std::none_of(line.begin(), line.end(), [](char ch) {
            const auto c = static_cast<unsigned char>(ch);
            return c < 0x20 || c == 0x7f || c == '\\';
        });
        const std::string shown = plain ? std::string() : escaped(line);
        const std::string_view out = plain ? line : std::string_view(shown);
        std::fprintf(f, "%s%.*s\n", prefix, static_cast<int>(out.size()), out.data());
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 2);
    }
}

void cli_session::note(const char* prefix, const std::string& text)
{
    if (opts_.log)
        std::fprintf(err_, "%s%s\n", prefix, text.c_str());
}

void cli_session::fill_connection()
{
    // Without a site every option counts; with one, only those given.
    const bool from_site = site_ != nullptr;
    auto take = [&](const char* option) { return !from_site || opts_.was_given(option); };
    remote_site site;
    remote_options options;
    if (from_site) {
        // Exactly what the remote pane does: the site's login, folder, list
        // parameters, clock offset and custom commands, the proxy, passive
        // mode, the PORT fallback and the PASV address rule.
        site = site_of(site_->settings, *site_->site);
        site.initial_folder = site_->start_folder();
        options = options_of(site_->settings, site_->site);
    }
    if (!opts_.protocol.empty())
        site.protocol = opts_.protocol == "sftp" ? remote_protocol::sftp : remote_protocol::ftp;
    if (take("--host"))
        site.host.set_string(opts_.host.c_str());
    if (take("--encryption")) {
        const std::string& e = opts_.encryption;
        site.encryption = e == "none"       ? remote_encryption::plain
                          : e == "explicit" ? remote_encryption::require_explicit
                          : e == "implicit" ? remote_encryption::implicit
                                            : remote_encryption::explicit_if_available;
    }
    if (take("--port"))
        site.port = opts_.port;
    // Implicit TLS has a port of its own.
    if (site.encryption == remote_encryption::implicit && !opts_.was_given("--port") && site.port == 21)
        site.port = implicit_tls_port;
    // Never a prompt here: what neither the authorities nor the trust file
    // vouch for fails.
    options.trust = std::make_shared<certificate_trust>(trust_file_, opts_.ca_file);
    if (site.protocol == remote_protocol::sftp && !opts_.was_given("--port") && site.port == 21)
        site.port = 22;
    if (!opts_.key_file.empty())
        site.ssh.key_file.set_string(opts_.key_file.c_str());
    if (!opts_.key_passphrase.empty())
        site.ssh.key_passphrase.set_string(opts_.key_passphrase.c_str());
    // Never asks: a host key that no file vouches for fails the login.
    options.host_keys = nullptr;
    if (!opts_.known_hosts.empty()) {
        options.known_hosts_file.set_string(opts_.known_hosts.c_str());
        options.user_known_hosts = false;
    } else {
        options.known_hosts_file.set_string(own_known_hosts_.c_str());
    }
    if (take("--user"))
        site.user_name.set_string(opts_.user.c_str());
    if (!from_site || !opts_.password.empty())
        site.password.set_string(opts_.password.c_str());
    if (take("--active") || take("--passive"))
        options.passive = opts_.passive;
    if (take("--no-port-fallback"))
        options.allow_passive_drop_to_port = opts_.port_fallback;
    if (opts_.trust_pasv_address)
        options.trust_pasv_address = true;
    if (take("--no-epsv"))
        options.extended_data = opts_.extended_data;
    if (!opts_.machine_listings)
        options.use_mlsd = false;
    if (take("--list-params"))
        options.list_parameters.set_string(opts_.list_params.c_str());
    options.timeout = opts_.timeout;
    options.listing_reader = &read_listing;
    if (!opts_.proxy_host.empty()) {
        ftp_proxy proxy;
        proxy.type = opts_.proxy_type;
        proxy.proxy_host.set_string(opts_.proxy_host.c_str());
        proxy.proxy_port = opts_.proxy_port ? opts_.proxy_port : (proxy.is_socks() ? 1080 : 21);
        proxy.proxy_username.set_string(opts_.proxy_user.c_str());
        proxy.proxy_password.set_string(opts_.proxy_password.c_str());
        if (proxy.is_firewall())
            proxy.ftp_command.set_bytes(!opts_.proxy_script.empty()
                                            ? proxy_script_
                                            : std::string(lang_.text(phrase_default_script + proxy.type)));
        site.proxy = proxy;
    }
    if (site.protocol != session_->site().protocol) {
        session_ = make_remote_session(site.protocol);
        session_->set_language(&lang_);
    }
    session_->configure(site, options);
    if (opts_.log)
        session_->set_observer(this);
}

remote_result cli_session::connect()
{
    if (remote_result status = session_->log_in(); !status.ok())
        return status;
    if (remote_result status = session_->enter_start_folder(); !status.ok())
        return status;
    if (site_ && site_->wants_time_difference())
        measure_clock();
    return status_ok;
}

bool cli_session::probe_name(qxval& out)
{
    char name[] = "/tmp/qvtf-timediffXXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(name);
    out.set_string(name);
    return true;
}

void cli_session::measure_clock()
{
    // The probe is a fresh empty file of ours; the session uploads it under
    // its base name, lists, and deletes both copies.
    qxval probe;
    if (!probe_name(probe)) {
        note("! ", "time difference not measured: no local probe file");
        return;
    }
    const remote_result status = session_->measure_time_difference(probe);
    if (!status.ok()) {
        note("! ", "time difference not measured: status " + std::to_string(status.status));
        return;
    }
    for (ftp_profile* p : {site_->site, site_->chosen}) {
        p->time_difference = session_->time_difference();
        p->time_difference_state = time_difference_measured;
    }
    note("~ ", "time difference " + std::to_string(session_->time_difference()) + " s");
}

int32_t cli_session::type_for(const std::string& name) const
{
    switch (type_) {
    case transfer_kind::ascii: return 1;
    case transfer_kind::automatic: return resolver_.resolve(base_name(name)).type;
    default: return 0;
    }
}

remote_result cli_session::list(const std::string& path)
{
    if (!path.empty()) {
        // List the folder as the current one, then come back.
        remote_folder_guard back(*session_);
        if (remote_result status = session_->change_folder(bytes_of(path)); !status.ok()) {
            back.dismiss();
            return status;
        }
        return list("");
    }
    if (remote_result status = session_->list_directory(qxval("")); !status.ok())
        return status;
    qxfile_tree::reader hold(session_->folder_tree());
    qxfile_node* folder = session_->current_folder();
    for (qxfile_node* n = folder ? folder->first_child : nullptr; n; n = n->next) {
        const char type = n->is_link() ? 'l' : n->is_folder ? 'd' : '-';
        const qxval perms = format_permissions(n->attributes, n->is_folder);
        const std::string size = n->size_known() ? std::to_string(n->size()) : "?";
        std::fprintf(out_, "%c\t%s\t%s\t%s UTC\t%s", type, perms.c_str(), size.c_str(), utc_text(n->modified).c_str(),
                     escaped(n->name.view()).c_str());
        if (!n->link_target.view().empty())
            std::fprintf(out_, "\t%s", escaped(n->link_target.view()).c_str());
        std::fputc('\n', out_);
    }
    return status_ok;
}

remote_result cli_session::get(const std::string& remote, const std::string& local)
{
    auto request = transfer_request::make(1, qxval(local), qxval(remote), type_for(remote));
    // The size the server gives, for the check of the bytes that arrive: a
    // body cut short must not replace a complete local copy.
    if (remote_result status = session_->file_size(request.remote_path, request.expected_size); !status.ok())
        return status;
    if (!settle_target(request))
        return status_ok;
    return session_->transfer_file(request).result;
}

remote_result cli_session::put(const std::string& local, const std::string& remote)
{
    transfer_request request = transfer_request::make(0, qxval(local), qxval(remote), type_for(local));
    // The server's copy keeps the local file's time where it can be set.
    request.stamp = true;
    if (!settle_target(request))
        return status_ok;
    return session_->transfer_file(request).result;
}

remote_result cli_session::remove_recursive(const std::string& path, bool chmod, const std::string& mode)
{
    // The recursive forms work on an entry of the listed folder.
    const size_t slash = path.find_last_of('/');
    remote_folder_guard back(*session_);
    if (slash == std::string::npos) {
        back.dismiss();
    } else if (remote_result status = session_->change_folder(qxval(slash == 0 ? "/" : path.substr(0, slash).c_str()));
               !status.ok()) {
        back.dismiss();
        return status;
    }
    remote_result status = session_->list_directory(qxval(""));
    if (!status.ok())
        return status;
    qxfile_node* entry = child_named(*session_, base_name(path));
    if (!entry) {
        status = status_recursive_failed;
        status.detail = path + ": no such entry\r\n";
        return status;
    }
    if (chmod) {
        chmod_request change;
        change.mode.set_string(mode.c_str());
        return session_->change_mode_entry(*entry, change);
    }
    return session_->delete_entry(*entry);
}

remote_result cli_session::run(const std::vector<std::string>& w)
{
    usage_error_.clear();
    if (!check_command(w, usage_error_))
        return -1;
    if (w[0] == "sites") {
        usage_error_ = "sites runs on its own, without other commands";
        return -1;
    }
    // A NUL byte (possible in a script on standard input) would cut a name
    // short on the server or in a local path: nothing of the command runs.
    for (const std::string& word : w)
        if (word.find('\0') != std::string::npos) {
            session_->log(log_error, std::string(lang_.text(phrase_line_break)) + "\r\n");
            return status_line_break;
        }
    return run_command(w);
}

remote_result cli_session::run_command(const std::vector<std::string>& w)
{
    remote_session& s = *session_;
    const std::string& c = w[0];
    auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    if (c == "ls")
        return list(arg(1));
    if (c == "sync")
        return sync(w);
    if (c == "pwd") {
        remote_result status = s.print_folder();
        if (status.ok())
            std::fprintf(out_, "%s\n", escaped(s.current_path().view()).c_str());
        return status;
    }
    if (c == "cd")
        return s.change_folder(bytes_of(w[1]));
    if (c == "get")
        return get(w[1], w.size() > 2 ? w[2] : base_name(w[1]));
    if (c == "put")
        return put(w[1], w.size() > 2 ? w[2] : base_name(w[1]));
    if (c == "download" || c == "upload")
        return queued(w);
    if (c == "mkdir")
        return s.make_folder(bytes_of(w[1]));
    if (c == "rmdir")
        return s.remove_folder(bytes_of(w[1]));
    if (c == "rm")
        return w[1] == "-r" ? remove_recursive(w[2], false, "") : s.delete_file(bytes_of(w[1]));
    if (c == "mv")
        return s.rename(bytes_of(w[1]), bytes_of(w[2]));
    if (c == "chmod") {
        if (w[1] == "-r")
            return remove_recursive(w[3], true, w[2]);
        return s.change_mode(bytes_of(w[2]), bytes_of(w[1]));
    }
    if (c == "quote") {
        std::string line;
        for (size_t i = 1; i < w.size(); ++i)
            line += (i > 1 ? " " : "") + w[i];
        remote_result status = s.raw_command(line);
        if (status.ok())
            for (const std::string& l : status.reply)
                std::fprintf(out_, "%s\n", escaped(l).c_str());
        return status;
    }
    // timediff: an empty probe file of our own, uploaded into the current folder.
    qxval probe;
    if (!probe_name(probe))
        return 2;
    remote_result status = s.measure_time_difference(probe);
    if (status.ok())
        std::fprintf(out_, "%d\n", s.time_difference());
    return status;
}

remote_result cli_session::queued(const std::vector<std::string>& words)
{
    // Defaults from the user's settings (the program's defaults on a first run).
    const global_ftp_settings& settings = user_settings();
    queue_run_options run;
    run.threads = opts_.threads >= 0 ? opts_.threads : std::max(0, settings.max_download_threads);
    run.retries = opts_.retries >= 1 ? opts_.retries : std::max(1, settings.retry_count);
    run.transfer_type = type_ == transfer_kind::ascii ? 1 : type_ == transfer_kind::automatic ? 2 : 0;
    run.progress = ::isatty(::fileno(err_)) != 0;
    run.exists = opts_.exists;
    cli_queue queue(*session_, lang_, &resolver_, run, out_, err_,
                    opts_.log ? static_cast<remote_observer*>(this) : nullptr);
    const std::vector<std::string> sources(words.begin() + 1, words.end() - 1);
    return queue.run(words[0] == "download", sources, words.back());
}

void cli_session::report_failure(const remote_result& failure)
{
    if (failure.status == -1 && !usage_error_.empty()) {
        std::fprintf(err_, "qvtf-cli: %s\n", usage_error_.c_str());
        return;
    }
    qxval text;
    session_->error_text(failure, text);
    std::string_view t = text.view();
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.remove_suffix(1);
    print_lines(err_, "", t);
    if (failure.status == transport_status::tls_untrusted && failure.reply.size() >= 2)
        std::fprintf(err_, "%s%s:\n%s\n%s\n", std::string(lang_.text(phrase_how_to_trust)).c_str(), trust_file_.c_str(),
                     failure.reply[1].c_str(), std::string(lang_.text(phrase_or_ca_file)).c_str());
    std::fprintf(err_, "status %d\n", failure.status);
}

int cli_session::run_all()
{
    fill_connection();
    if (remote_result status = connect(); !status.ok()) {
        report_failure(status);
        return 1;
    }
    for (const auto& words : opts_.commands) {
        if (words.empty())
            continue;
        if (remote_result status = run(words); !status.ok()) {
            report_failure(status);
            session_->disconnect();
            return 1;
        }
    }
    session_->disconnect();
    return 0;
}

}  // namespace qvtf::cli
