// FTP over TLS against real servers: every mode against vsftpd (data
// connections must resume the control connection's session) and
// pyftpdlib's TLS handler, passive and active, files on the worker and on
// the calling thread, over IPv6 too, and the certificate decisions: the
// authorities of a CA file or of the system's hashed folder, the trust
// file, a judge, and a refusal before any login. A stop or kill cuts a
// protected transfer off either way, and the session goes on after it.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ftp/ftp_data_connection.h"
#include "ftp_test_session.h"
#include "net/transport_status.h"
#include "support/ftp_servers.h"
#include "support/test_ports.h"
#include "support/process.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

enum class trust_by { nothing, ca_file, system_folder, system_bundle, trust_file, judge_once, changed_entry };

class recording_judge : public certificate_judge {
public:
    explicit recording_judge(certificate_verdict verdict) : verdict_(verdict) {}
    certificate_verdict judge(const certificate_facts& facts) override
    {
        seen.push_back(facts);
        return verdict_;
    }
    std::vector<certificate_facts> seen;

private:
    certificate_verdict verdict_;
};

struct tls_case {
    const char* name;
    server_kind server;
    server_tls tls;
    bool tls_server;  // pyftpdlib with its TLS handler
    remote_encryption mode;
    bool passive;
    trust_by trust;
    int expected;  // status of the login
    bool encrypted;
    bool ipv6 = false;
};

// The system's authorities, for as long as it lives: a hashed folder
// holding only this certificate, or (bundle) an empty folder and a bundle
// file holding it.
class system_authorities {
public:
    system_authorities(const std::string& folder, const std::string& certificate, bool bundle)
        : dir_("SSL_CERT_DIR"), file_("SSL_CERT_FILE")
    {
        std::filesystem::create_directories(folder);
        if (bundle) {
            setenv("SSL_CERT_FILE", certificate.c_str(), 1);
        } else if (FILE* in = std::fopen(certificate.c_str(), "r")) {
            if (X509* x = PEM_read_X509(in, nullptr, nullptr, nullptr)) {
                char name[16];
                std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(x));
                std::filesystem::copy_file(certificate, folder + "/" + name);
                X509_free(x);
            }
            std::fclose(in);
        }
        setenv("SSL_CERT_DIR", folder.c_str(), 1);
    }
    system_authorities(const system_authorities&) = delete;
    system_authorities& operator=(const system_authorities&) = delete;

private:
    // Puts a variable back as it was.
    struct saved {
        explicit saved(const char* variable) : name(variable)
        {
            if (const char* value = std::getenv(variable))
                old = value;
        }
        ~saved()
        {
            if (old)
                setenv(name, old->c_str(), 1);
            else
                unsetenv(name);
        }
        const char* name;
        std::optional<std::string> old;
    };
    saved dir_, file_;
};

// A fingerprint that is no server's.
const std::string other_fingerprint = [] {
    std::string text;
    for (int i = 0; i < 32; ++i)
        text += std::string(i ? ":" : "") + "AB";
    return text;
}();

class TlsReal : public ::testing::TestWithParam<tls_case> {};

TEST_P(TlsReal, LogsInListsAndMovesFilesAsTheModeAndTrustSay)
{
    const tls_case c = GetParam();
    if (!server_available(c.server))
        GTEST_SKIP() << "server not installed";
    if (c.ipv6 && !ipv6_loopback_available())
        GTEST_SKIP() << no_ipv6_message;
    std::unique_ptr<vsftpd_server> vs;
    std::unique_ptr<pyftpdlib_server> py;
    if (c.server == server_kind::vsftpd)
        vs = std::make_unique<vsftpd_server>(c.tls, c.ipv6);
    else
        py = std::make_unique<pyftpdlib_server>("pyuser", "pypass", "", c.tls_server);
    const bool up = vs ? vs->ok() : py->ok();
    ASSERT_TRUE(up) << (vs ? vs->log() : py->log());
    const std::string certificate = vs ? vs->certificate() : py->certificate();
    const std::string root = vs ? vs->root() : py->root();
    auto server_log = [&] { return vs ? vs->log() : py->log(); };

    temp_folder local("qvtf-tls");
    const std::string trust_file = local.file("trust/certificates");
    const int port = vs ? vs->port() : py->port();
    auto judge = std::make_shared<recording_judge>(certificate_verdict::trust_once);
    auto trust = std::make_shared<certificate_trust>(trust_file, c.trust == trust_by::ca_file ? certificate : "");
    if (c.trust == trust_by::judge_once || c.trust == trust_by::changed_entry)
        trust->set_judge(c.trust == trust_by::judge_once ? judge : nullptr);
    if (c.trust == trust_by::trust_file) {
        ASSERT_TRUE(trust->remember("127.0.0.1", port, certificate_fingerprint(certificate)));
    } else if (c.trust == trust_by::changed_entry) {
        ASSERT_TRUE(trust->remember("127.0.0.1", port, other_fingerprint));
    }
    std::unique_ptr<system_authorities> authorities;
    if (c.trust == trust_by::system_folder || c.trust == trust_by::system_bundle)
        authorities = std::make_unique<system_authorities>(local.file("authorities"), certificate,
                                                           c.trust == trust_by::system_bundle);

    logged_session session;
    session.reconfigure([&](remote_site& site, remote_options& options) {
        site.port = port;
        if (c.ipv6)
            site.host.set_string("::1");
        site.user_name.set_string(vs ? vs->user().c_str() : py->user().c_str());
        site.password.set_string(vs ? vs->password().c_str() : py->password().c_str());
        site.encryption = c.mode;
        options.timeout = 10;
        options.passive = c.passive;
        options.listing_reader = parser();
        options.trust = c.trust == trust_by::nothing ? nullptr : trust;
    });
    const remote_result login = session.log_in();
    ASSERT_EQ(login.status, c.expected) << session.text_of(login) << "\n" << server_log();
    EXPECT_EQ(session.security().encrypted, c.encrypted);
    if (c.expected != 0) {
        // Refused before any name or password went out.
        EXPECT_EQ(server_log().find("\"USER "), std::string::npos) << server_log();
        EXPECT_FALSE(session.connected());
        if (c.expected == transport_status::tls_untrusted) {
            EXPECT_NE(session.text_of(login).find(certificate_fingerprint(certificate)), std::string::npos)
                << session.text_of(login);
            EXPECT_EQ(c.trust == trust_by::changed_entry, !session.texts_of_kind(log_error).empty() &&
                                                              session.texts_of_kind(log_error)[0].find("[1007]") !=
                                                                  std::string::npos);
        }
        return;
    }
    EXPECT_EQ(session.security().data_protected, c.encrypted);
    if (c.trust == trust_by::judge_once) {
        EXPECT_EQ(judge->seen.size(), 1u);
    }
    if (c.encrypted) {
        EXPECT_EQ(session.security().certificate.sha256, certificate_fingerprint(certificate));
    } else {
        // Going on in the clear is said loudly.
        const auto errors = session.texts_of_kind(log_error);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].rfind("[1002]", 0), 0u) << errors[0];
    }

    // Protected files of any size go on the calling thread; the last one
    // takes the worker's path as an unprotected large file does.
    for (const size_t size : {size_t(0), size_t(70000), size_t(3u << 20), size_t(3u << 20) + 1}) {
        SCOPED_TRACE("size " + std::to_string(size));
        if (size == (3u << 20) + 1)
            session.reconfigure([](remote_site&, remote_options& options) { options.inline_limit = -1; });
        const std::string name = "t" + std::to_string(size);
        const std::string bytes = pattern_bytes(size, static_cast<unsigned>(size + 1));
        ASSERT_TRUE(write_bytes(local.file(name), bytes));
        const transfer_record put = transfer(session, 0, local.file(name), name.c_str());
        ASSERT_EQ(put.result.status, 0) << session.text_of(put.result) << "\n" << server_log();
        EXPECT_TRUE(read_bytes(root + "/" + name) == bytes);
        const transfer_record got = transfer(session, 1, local.file(name + ".back"), name.c_str());
        ASSERT_EQ(got.result.status, 0) << session.text_of(got.result) << "\n" << server_log();
        EXPECT_TRUE(read_bytes(local.file(name + ".back")) == bytes);
    }
    ASSERT_EQ(session.print_folder().status, 0);
    ASSERT_EQ(session.list_directory(qxval("")).status, 0) << server_log();
    ASSERT_NE(session.current_folder(), nullptr);
    int listed = 0;
    for (qxfile_node* child = session.current_folder()->first_child; child; child = child->next)
        ++listed;
    EXPECT_EQ(listed, 4);
    EXPECT_EQ(session.quit().status, 0);
}

// clang-format off
const tls_case tls_cases[] = {
    {"vsftpd_explicit_passive_ca_file", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::require_explicit, true, trust_by::ca_file, 0, true},
    {"vsftpd_explicit_active_trust_file", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::explicit_if_available, false, trust_by::trust_file, 0, true},
    {"vsftpd_explicit_system_authorities", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::require_explicit, true, trust_by::system_folder, 0, true},
    {"vsftpd_explicit_system_bundle", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::require_explicit, true, trust_by::system_bundle, 0, true},
    {"vsftpd_explicit_ipv6", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::require_explicit, true, trust_by::ca_file, 0, true, true},
    {"vsftpd_implicit_passive_judge", server_kind::vsftpd, server_tls::implicit, false,
     remote_encryption::implicit, true, trust_by::judge_once, 0, true},
    {"vsftpd_implicit_active_ca_file", server_kind::vsftpd, server_tls::implicit, false,
     remote_encryption::implicit, false, trust_by::ca_file, 0, true},
    {"pyftpdlib_explicit_passive", server_kind::pyftpdlib, server_tls::none, true,
     remote_encryption::require_explicit, true, trust_by::ca_file, 0, true},
    {"pyftpdlib_explicit_active", server_kind::pyftpdlib, server_tls::none, true,
     remote_encryption::explicit_if_available, false, trust_by::judge_once, 0, true},
    {"plain_server_if_available", server_kind::vsftpd, server_tls::none, false,
     remote_encryption::explicit_if_available, true, trust_by::nothing, 0, false},
    {"plain_server_required", server_kind::vsftpd, server_tls::none, false,
     remote_encryption::require_explicit, true, trust_by::nothing, status_tls_refused, false},
    {"untrusted_explicit", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::require_explicit, true, trust_by::nothing, transport_status::tls_untrusted, false},
    {"untrusted_implicit", server_kind::vsftpd, server_tls::implicit, false,
     remote_encryption::implicit, true, trust_by::nothing, transport_status::tls_untrusted, false},
    {"changed_certificate", server_kind::vsftpd, server_tls::explicit_forced, false,
     remote_encryption::explicit_if_available, true, trust_by::changed_entry, transport_status::tls_untrusted, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, TlsReal, ::testing::ValuesIn(tls_cases),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A stop or a kill cuts off a protected transfer in either direction at
// once, and after a stop the same login goes on.
struct cut_case {
    const char* name;
    int direction;  // 1: download
    int reason;
    bool on_worker = false;  // the pipe's path, as an unprotected large file takes
};

class cut_when_moving : public transfer_progress {
public:
    void on_progress(int64_t bytes, int32_t) override
    {
        if (bytes < (1 << 20))
            return;
        std::lock_guard lock(mutex_);
        moving_ = true;
        changed_.notify_all();
    }
    bool wait_until_moving()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return moving_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool moving_ = false;
};

class TlsCut : public ::testing::TestWithParam<cut_case> {};

constexpr int reply_wait = 20;  // seconds: the session's time-out

TEST_P(TlsCut, EndsTheTransferAndAStopKeepsTheLogin)
{
    const cut_case c = GetParam();
    if (!server_available(server_kind::vsftpd))
        GTEST_SKIP() << "server not installed";
    vsftpd_server vs(server_tls::explicit_forced);
    ASSERT_TRUE(vs.ok()) << vs.log();
    temp_folder local("qvtf-tls-cut");
    const size_t size = size_t(256) << 20;
    const std::string source = c.direction ? vs.root() + "/big" : local.file("big");
    {
        std::ofstream out(source, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(size) - 1);
        out.put('x');
    }
    logged_session session;
    session.reconfigure([&](remote_site& site, remote_options& options) {
        site.port = vs.port();
        site.user_name.set_string(vs.user().c_str());
        site.password.set_string(vs.password().c_str());
        site.encryption = remote_encryption::require_explicit;
        options.timeout = reply_wait;
        options.passive = true;
        options.listing_reader = parser();
        options.trust = std::make_shared<certificate_trust>(local.file("trust"), vs.certificate());
        if (c.on_worker)
            options.inline_limit = -1;
    });
    ASSERT_EQ(session.log_in().status, 0) << vs.log();

    cut_when_moving progress;
    std::thread cutter([&] {
        if (progress.wait_until_moving())
            session.stop(c.reason);
    });
    transfer_request request = c.direction ? transfer_request::make(1, qxval(local.file("back")), qxval("big"), 0)
                                           : transfer_request::make(0, qxval(source), qxval("up"), 0);
    request.progress = &progress;
    const auto began = std::chrono::steady_clock::now();
    const transfer_record record = session.transfer_file(request);
    const auto took = std::chrono::steady_clock::now() - began;
    cutter.join();
    EXPECT_EQ(record.result.status, status_stopped) << session.text_of(record.result);
    // The server's last reply came: the stop did not wait out the time-out.
    EXPECT_LT(took, std::chrono::seconds(reply_wait));
    // A download's part is discarded (its target never existed); an
    // upload's stays on the server as far as it went.
    if (c.direction) {
        EXPECT_FALSE(std::filesystem::exists(local.file("back")));
    } else {
        std::error_code error;
        EXPECT_LT(std::filesystem::file_size(vs.root() + "/up", error), size);
    }
    if (c.reason != stop_reason_stop)
        return;
    // The login goes on; or, as this server forgets the session a cut-off
    // data connection resumed, it ends so that its owner logs in again.
    session.clear_stop();
    remote_result listed = session.list_directory(qxval(""));
    if (listed.status == status_not_connected) {
        EXPECT_FALSE(session.logged_in());
        ASSERT_EQ(session.log_in().status, 0) << vs.log();
        listed = session.list_directory(qxval(""));
    }
    EXPECT_EQ(listed.status, 0) << session.text_of(listed) << "\n" << vs.log();
}

INSTANTIATE_TEST_SUITE_P(Cases, TlsCut,
                         ::testing::Values(cut_case{"download_stopped", 1, stop_reason_stop},
                                           cut_case{"upload_stopped", 0, stop_reason_stop},
                                           cut_case{"download_killed", 1, stop_reason_kill},
                                           cut_case{"download_stopped_on_worker", 1, stop_reason_stop, true},
                                           cut_case{"upload_stopped_on_worker", 0, stop_reason_stop, true}),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace qvtf::test
