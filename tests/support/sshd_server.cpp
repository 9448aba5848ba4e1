#include "sshd_server.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "ftp_servers.h"
#include "test_ports.h"

namespace qvtf::test {

namespace {

constexpr const char* sshd_path = "/usr/sbin/sshd";
constexpr const char* keygen_path = "/usr/bin/ssh-keygen";

bool run(const std::string& command)
{
    const int status = std::system(("(" + command + ") >/dev/null 2>&1").c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string first_line(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// Process ids of pid's children.
std::vector<pid_t> children_of(pid_t pid)
{
    std::vector<pid_t> found;
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t child = 0;
    while (in >> child)
        found.push_back(child);
    return found;
}

}  // namespace

bool sshd_available()
{
    return ::access(sshd_path, X_OK) == 0 && ::access(keygen_path, X_OK) == 0;
}

sshd_server::sshd_server()
{
    if (!sshd_available() || folder_.path().empty() || root_.path().empty())
        return;
    const std::string dir = folder_.path();
    const std::string keygen = std::string(keygen_path) + " -q ";
    if (!run(keygen + "-t ed25519 -N '' -f " + dir + "/host_ed25519") ||
        !run(keygen + "-t ed25519 -N '' -f " + dir + "/other_host_ed25519") ||
        !run(keygen + "-t ed25519 -N '' -f " + dir + "/client_ed25519") ||
        !run(keygen + "-t rsa -b 2048 -N '" + key_passphrase + "' -f " + dir + "/client_rsa") ||
        !run("cat " + dir + "/client_ed25519.pub " + dir + "/client_rsa.pub > " + dir + "/authorized_keys") ||
        !run(std::string(keygen_path) + " -l -E sha256 -f " + dir + "/host_ed25519.pub | cut -d' ' -f2 > " + dir +
             "/fingerprint"))
        return;
    fingerprint_ = first_line(read_text_file(folder_.file("fingerprint")));

    if (::geteuid() == 0) {
        uid_t uid = 0;
        gid_t gid = 0;
        if (!ensure_test_user(uid, gid) || ::chown(root_.path().c_str(), uid, gid) != 0)
            return;
        user_ = test_user;
        password_ = test_password;
        password_login_ = true;
        // sshd's privilege separation needs its folder.
        ::mkdir("/run/sshd", 0755);
    } else if (const passwd* pw = ::getpwuid(::geteuid())) {
        user_ = pw->pw_name;
    } else {
        return;
    }
    ::chmod(root_.path().c_str(), 0755);
    // The session's user reads authorized_keys after sshd gave up root.
    ::chmod(dir.c_str(), 0755);
    ::chmod(folder_.file("authorized_keys").c_str(), 0644);

    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
        port_ = free_port();
        std::ostringstream config;
        config << "Port " << port_ << "\nListenAddress 127.0.0.1\n"
               << "HostKey " << dir << "/host_ed25519\nPidFile " << dir << "/sshd.pid\n"
               << "UsePAM no\nStrictModes no\nPasswordAuthentication yes\nPubkeyAuthentication yes\n"
               << "PermitRootLogin no\nAllowUsers " << user_ << "\nAuthorizedKeysFile " << dir
               << "/authorized_keys\nSubsystem sftp internal-sftp -d " << root_.path() << "\n"
               << "MaxStartups 100:30:200\nMaxSessions 50\nLogLevel VERBOSE\n";
        if (!folder_.write("sshd_config", config.str()))
            return;
        const std::string host_key = first_line(read_text_file(folder_.file("host_ed25519.pub")));
        const std::string other_key = first_line(read_text_file(folder_.file("other_host_ed25519.pub")));
        const std::string host = "[127.0.0.1]:" + std::to_string(port_) + " ";
        auto key_part = [](const std::string& line) {
            const auto second_space = line.find(' ', line.find(' ') + 1);
            return line.substr(0, second_space);
        };
        if (!folder_.write("known_hosts", host + key_part(host_key) + "\n") ||
            !folder_.write("wrong_known_hosts", host + key_part(other_key) + "\n"))
            return;
        if (!process_.start({sshd_path, "-D", "-e", "-f", folder_.file("sshd_config")}, folder_.file("sshd.log")))
            return;
        ok_ = wait_until_accepting(port_, std::chrono::milliseconds(10000)) && process_.running();
        if (!ok_)
            process_.stop();
    }
}

sshd_server::~sshd_server()
{
    process_.stop();
}

int sshd_server::kill_sessions()
{
    int killed = 0;
    if (!process_.running())
        return 0;
    // A session is a privileged process and the user's process below it,
    // which holds the connection too: the whole line goes.
    std::vector<pid_t> line = children_of(process_.pid());
    for (std::size_t i = 0; i < line.size() && i < 1000; ++i)
        for (pid_t grandchild : children_of(line[i]))
            line.push_back(grandchild);
    for (pid_t pid : line)
        if (::kill(pid, SIGKILL) == 0)
            ++killed;
    return killed;
}

std::string sshd_server::log() const
{
    return read_text_file(folder_.file("sshd.log"));
}

}  // namespace qvtf::test
