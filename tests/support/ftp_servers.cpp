#include "ftp_servers.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "test_ports.h"

namespace qvtf::test {

namespace {

constexpr const char* vsftpd_path = "/usr/sbin/vsftpd";
constexpr const char* python_path = "/usr/bin/python3";
// pure-ftpd conflicts with vsftpd as a package, so tools/deps.sh unpacks it
// into a folder of its own where it is not installed.
constexpr const char* unpacked_servers = "/var/cache/qvtf-test-servers/pure-ftpd";

std::string pure_ftpd_file(const char* installed)
{
    if (::access(installed, X_OK) == 0)
        return installed;
    return std::string(unpacked_servers) + installed;
}

const std::string pure_ftpd_path = pure_ftpd_file("/usr/sbin/pure-ftpd");
const std::string pure_pw_path = pure_ftpd_file("/usr/bin/pure-pw");

int run_shell(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string vsftpd_config(uint16_t port, const std::string& chroot_dir, const std::string& root, uint16_t pasv_min,
                          uint16_t pasv_max, const std::string& log_file, bool ipv6)
{
    return std::string(ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                            : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n") +
           "listen_port=" +
           std::to_string(port) +
           "\n"
           "background=NO\n"
           "seccomp_sandbox=NO\n"
           "secure_chroot_dir=" +
           chroot_dir +
           "\n"
           "anonymous_enable=NO\n"
           "local_enable=YES\n"
           "write_enable=YES\n"
           "chmod_enable=YES\n"
           "local_umask=022\n"
           "local_root=" +
           root +
           "\n"
           "pasv_enable=YES\n"
           "pasv_min_port=" +
           std::to_string(pasv_min) +
           "\n"
           "pasv_max_port=" +
           std::to_string(pasv_max) +
           "\n"
           "port_enable=YES\n"
           "connect_from_port_20=NO\n"
           "pam_service_name=vsftpd\n"
           "userlist_enable=NO\n"
           "tcp_wrappers=NO\n"
           "dual_log_enable=NO\n"
           "xferlog_enable=YES\n"
           "vsftpd_log_file=" +
           log_file +
           "\n"
           "log_ftp_protocol=YES\n";
}

std::string vsftpd_tls_config(server_tls tls, const temp_folder& folder)
{
    if (tls == server_tls::none)
        return "";
    std::string text = "ssl_enable=YES\n"
                       "rsa_cert_file=" +
                       folder.file("cert.pem") +
                       "\n"
                       "rsa_private_key_file=" +
                       folder.file("key.pem") +
                       "\n"
                       "force_local_logins_ssl=YES\n"
                       "force_local_data_ssl=YES\n"
                       "require_ssl_reuse=YES\n"
                       "ssl_ciphers=HIGH\n"
                       "debug_ssl=YES\n";
    if (tls == server_tls::implicit)
        text += "implicit_ssl=YES\n";
    return text;
}

constexpr const char* pyftpdlib_tls_script = R"(import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
port, root, user, password, cert, key = sys.argv[1:7]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = TLS_FTPHandler
handler.certfile = cert
handler.keyfile = key
handler.tls_control_required = True
handler.tls_data_required = True
handler.authorizer = authorizer
# Older releases close a data connection whose handshake starts before its
# command arrives (it is not readable yet); later releases read it.
class DTPHandler(TLS_DTPHandler):
    def readable(self):
        return self._ssl_accepting or super().readable()
handler.dtp_handler = DTPHandler
FTPServer(("127.0.0.1", int(port)), handler).serve_forever()
)";

}  // namespace

// Creates the local test user once per machine and (re)sets its password.
// Several test processes may start at the same time: a file lock keeps the
// useradd/chpasswd pair from running twice at once.
bool ensure_test_user(uid_t& uid, gid_t& gid)
{
    int lock = ::open("/tmp/qvtf-ftp-user.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0)
        return false;
    ::flock(lock, LOCK_EX);
    bool ok = true;
    if (!::getpwnam(test_user))
        ok = run_shell(std::string("useradd -M -d /tmp -s /bin/sh ") + test_user + " >/dev/null 2>&1") == 0;
    if (ok)
        ok = run_shell(std::string("echo '") + test_user + ":" + test_password + "' | chpasswd >/dev/null 2>&1") == 0;
    const passwd* pw = ::getpwnam(test_user);
    ok = ok && pw;
    if (ok) {
        uid = pw->pw_uid;
        gid = pw->pw_gid;
    }
    ::flock(lock, LOCK_UN);
    ::close(lock);
    return ok;
}

bool make_test_certificate(const temp_folder& folder)
{
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
                                " -addext subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost -keyout '" +
                                folder.file("key.pem") + "' -out '" + folder.file("cert.pem") + "' >/dev/null 2>&1";
    return run_shell(command) == 0;
}

std::string certificate_fingerprint(const std::string& pem)
{
    temp_folder out("qvtf-fingerprint");
    if (run_shell("openssl x509 -noout -fingerprint -sha256 -in '" + pem + "' > '" + out.file("fp") + "'") != 0)
        return "";
    std::string text = read_text_file(out.file("fp"));
    const auto equals = text.find('=');
    text = equals == std::string::npos ? "" : text.substr(equals + 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}


bool vsftpd_available()
{
    return ::access(vsftpd_path, X_OK) == 0 && ::geteuid() == 0;
}

bool pyftpdlib_available()
{
    return ::access(python_path, X_OK) == 0 &&
           run_shell(std::string(python_path) + " -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
}

bool pure_ftpd_available()
{
    return ::access(pure_ftpd_path.c_str(), X_OK) == 0 && ::access(pure_pw_path.c_str(), X_OK) == 0 && ::geteuid() == 0;
}

pure_ftpd_server::pure_ftpd_server()
{
    if (!pure_ftpd_available() || folder_.path().empty() || root_.path().empty())
        return;
    uid_t uid = 0;
    gid_t gid = 0;
    if (!ensure_test_user(uid, gid) || ::chown(root_.path().c_str(), uid, gid) != 0)
        return;
    // The virtual user's files: its password twice on standard input.
    const std::string add = std::string("printf '%s\\n%s\\n' '") + password_ + "' '" + password_ + "' | " +
                            pure_pw_path + " useradd " + user_ + " -u " + std::to_string(uid) + " -g " +
                            std::to_string(gid) + " -d '" + root_.path() + "' -f '" + folder_.file("passwd") +
                            "' -F '" + folder_.file("pdb") + "' -m >/dev/null 2>&1";
    if (run_shell(add) != 0)
        return;
    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
        port_ = free_port();
        uint16_t pasv_min = free_port();
        if (pasv_min > 65535 - 40)
            pasv_min = 40000;
        const std::string range = std::to_string(pasv_min) + ":" + std::to_string(pasv_min + 40);
        if (!process_.start({pure_ftpd_path, "-S", "127.0.0.1," + std::to_string(port_), "-l",
                             "puredb:" + folder_.file("pdb"), "-E", "-H", "-p", range},
                            folder_.file("stderr.log")))
            return;
        ok_ = wait_until_accepting(port_, std::chrono::milliseconds(10000)) && process_.running();
        if (!ok_)
            process_.stop();
    }
}

pure_ftpd_server::~pure_ftpd_server()
{
    process_.stop();
}

std::string pure_ftpd_server::log() const
{
    return read_text_file(folder_.file("stderr.log"));
}

bool server_available(server_kind k)
{
    return k == server_kind::vsftpd ? vsftpd_available() : pyftpdlib_available();
}

real_server::real_server(server_kind k)
{
    if (!server_available(k))
        return;
    if (k == server_kind::vsftpd)
        vs = std::make_unique<vsftpd_server>();
    else
        py = std::make_unique<pyftpdlib_server>();
}

vsftpd_server::vsftpd_server(server_tls tls, bool ipv6) : user_(test_user), password_(test_password)
{
    if (!vsftpd_available() || folder_.path().empty() || root_.path().empty())
        return;
    if (tls != server_tls::none && !make_test_certificate(folder_))
        return;
    uid_t uid = 0;
    gid_t gid = 0;
    if (!ensure_test_user(uid, gid))
        return;
    // The session runs as the test user, which must be able to work in its
    // folder; the chroot folder stays root's and empty.
    if (::chown(root_.path().c_str(), uid, gid) != 0 || ::chmod(root_.path().c_str(), 0755) != 0)
        return;
    const std::string chroot_dir = folder_.file("empty");
    if (::mkdir(chroot_dir.c_str(), 0755) != 0)
        return;
    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
        port_ = free_port();
        pasv_min_ = free_port();
        if (pasv_min_ > 65535 - 40)
            pasv_min_ = 40000;
        pasv_max_ = static_cast<uint16_t>(pasv_min_ + 40);
        if (!folder_.write("vsftpd.conf", vsftpd_config(port_, chroot_dir, root_.path(), pasv_min_, pasv_max_,
                                                        folder_.file("vsftpd.log"), ipv6) +
                                              vsftpd_tls_config(tls, folder_)))
            return;
        ::chmod(folder_.file("vsftpd.conf").c_str(), 0600);
        if (!process_.start({vsftpd_path, folder_.file("vsftpd.conf")}, folder_.file("stderr.log")))
            return;
        ok_ = wait_until_accepting(port_, std::chrono::milliseconds(10000), ipv6) && process_.running();
        if (!ok_)
            process_.stop();
    }
}

vsftpd_server::~vsftpd_server()
{
    process_.stop();
}

void vsftpd_server::kill_sessions() const
{
    // Every descendant of the listening process: a session is a process
    // and the helper it forks.
    std::set<pid_t> family{process_.pid()};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos)
                continue;
            std::ifstream stat(entry.path() / "stat");
            std::string line;
            std::getline(stat, line);
            const size_t close = line.rfind(')');
            if (close == std::string::npos)
                continue;
            std::istringstream rest(line.substr(close + 2));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            const pid_t pid = static_cast<pid_t>(std::stol(name));
            if (family.count(parent) && family.insert(pid).second)
                grew = true;
        }
    }
    for (pid_t pid : family)
        if (pid != process_.pid())
            ::kill(pid, SIGKILL);
}

std::string vsftpd_server::log() const
{
    return read_text_file(folder_.file("stderr.log")) + read_text_file(folder_.file("vsftpd.log"));
}

pyftpdlib_server::pyftpdlib_server(std::string user, std::string password, std::string nat_address, bool tls)
    : user_(std::move(user)), password_(std::move(password))
{
    if (!pyftpdlib_available() || folder_.path().empty() || root_.path().empty())
        return;
    if (tls && (!make_test_certificate(folder_) || !folder_.write("tls_server.py", pyftpdlib_tls_script)))
        return;
    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
        port_ = free_port();
        std::vector<std::string> args{python_path, "-m", "pyftpdlib",  "-i", "127.0.0.1", "-p", std::to_string(port_),
                                      "-w",        "-d", root_.path(), "-u", user_,       "-P", password_};
        if (tls)
            args = {python_path,      folder_.file("tls_server.py"), std::to_string(port_), root_.path(), user_,
                    password_,        folder_.file("cert.pem"),       folder_.file("key.pem")};
        if (!nat_address.empty())
            args.insert(args.end(), {"-n", nat_address});
        if (!process_.start(args, folder_.file("pyftpdlib.log")))
            return;
        ok_ = wait_until_accepting(port_, std::chrono::milliseconds(10000)) && process_.running();
        if (!ok_)
            process_.stop();
        else
            args_ = args;
    }
}

bool pyftpdlib_server::restart()
{
    if (!ok_)
        return false;
    process_.stop();
    // The port is ours again once the old process is gone; a few tries cover
    // the moment the system takes to free it.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (!process_.start(args_, folder_.file("pyftpdlib.log")))
            return false;
        if (wait_until_accepting(port_, std::chrono::milliseconds(5000)) && process_.running())
            return true;
        process_.stop();
    }
    return false;
}

pyftpdlib_server::~pyftpdlib_server()
{
    process_.stop();
}

std::string pyftpdlib_server::log() const
{
    return read_text_file(folder_.file("pyftpdlib.log"));
}

}  // namespace qvtf::test
