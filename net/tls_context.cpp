#include "net/tls_context.h"

#include <openssl/err.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <filesystem>

#include "net/tls_channel.h"
#include "net/tls_lazy_bundle.h"

namespace qvtf {

namespace {

// Sessions the server hands out (TLS 1.3 sends its tickets after the
// handshake, on data connections too) arrive here.
int on_new_session(SSL* ssl, SSL_SESSION* session)
{
    tls_channel* channel = tls_channel::of(ssl);
    if (!channel || !channel->keeps_sessions())
        return 0;
    channel->context().keep_session(session);
    return 1;  // the reference is ours now
}

}  // namespace

tls_context::tls_context()
{
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (!ctx_)
        return;
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx_, &on_new_session);
    // Verification runs in every handshake; its outcome is judged after it,
    // so an unknown certificate can be shown to the user instead of failing.
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

tls_context::~tls_context()
{
    forget_sessions();
    if (ctx_)
        SSL_CTX_free(ctx_);
}

bool tls_context::load_authorities(const std::string& ca_file, std::string& error)
{
    if (!ctx_) {
        error = tls_error_text("no TLS context");
        return false;
    }
    // The hashed folder is read one certificate at a time, when a chain
    // asks for it; parsing the whole bundle at once cost more CPU than
    // encrypting a big transfer. A bundle the environment names, or the
    // system's when there is no folder, is read at the first issuer that
    // neither the folder nor ca_file has.
    const char* file_env = std::getenv(X509_get_default_cert_file_env());
    const char* dir_env = std::getenv(X509_get_default_cert_dir_env());
    const char* folder = dir_env && *dir_env ? dir_env : X509_get_default_cert_dir();
    std::error_code ignored;
    SSL_CTX_set_default_verify_dir(ctx_);
    if ((file_env && *file_env) || !std::filesystem::is_directory(folder, ignored))
        add_lazy_bundle(SSL_CTX_get_cert_store(ctx_), file_env && *file_env ? file_env : X509_get_default_cert_file());
    if (!ca_file.empty() && SSL_CTX_load_verify_locations(ctx_, ca_file.c_str(), nullptr) != 1) {
        error = tls_error_text(ca_file.c_str());
        return false;
    }
    ERR_clear_error();
    return true;
}

SSL_SESSION* tls_context::resumable_session()
{
    std::lock_guard lock(mutex_);
    if (sessions_.empty())
        return nullptr;
    SSL_SESSION* newest = sessions_.back();
    if (sessions_.size() > 1)
        sessions_.pop_back();
    else
        SSL_SESSION_up_ref(newest);
    return newest;
}

void tls_context::keep_session(SSL_SESSION* session)
{
    SSL_SESSION* dropped = nullptr;
    {
        std::lock_guard lock(mutex_);
        sessions_.push_back(session);
        if (sessions_.size() > kept_sessions) {
            dropped = sessions_.front();
            sessions_.pop_front();
        }
    }
    if (dropped)
        SSL_SESSION_free(dropped);
}

void tls_context::forget_sessions()
{
    std::deque<SSL_SESSION*> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(sessions_);
    }
    for (SSL_SESSION* session : dropped)
        SSL_SESSION_free(session);
}

std::string tls_error_text(const char* fallback)
{
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        if (!text.empty())
            text += "; ";
        text += buf;
    }
    return text.empty() && fallback ? std::string(fallback) : text;
}

}  // namespace qvtf
