#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace qvtf::test {

bool child_process::start(const std::vector<std::string>& args, const std::string& output_file)
{
    if (pid_ > 0 || args.empty())
        return false;
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const char* out = output_file.empty() ? "/dev/null" : output_file.c_str();
    posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults, empty;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return false;
    pid_ = pid;
    status_ = -1;
    return true;
}

bool child_process::running()
{
    if (pid_ <= 0)
        return false;
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = st;
        // The group may still hold workers of the child; end them too.
        kill(-pid_, SIGKILL);
        pid_ = -1;
        return false;
    }
    return r == 0;
}

int child_process::stop(std::chrono::milliseconds grace)
{
    if (pid_ <= 0)
        return status_;
    const pid_t group = pid_;
    kill(-group, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int st = 0;
    for (;;) {
        pid_t r = waitpid(group, &st, WNOHANG);
        if (r == group || (r < 0 && errno == ECHILD))
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(-group, SIGKILL);
            waitpid(group, &st, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Workers that outlived their parent (or ignored SIGTERM) go as well.
    kill(-group, SIGKILL);
    pid_ = -1;
    status_ = st;
    return st;
}

std::string read_text_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

temp_folder::temp_folder(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()))
        path_ = buf.data();
}

temp_folder::~temp_folder()
{
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

bool temp_folder::write(const std::string& name, const std::string& content) const
{
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out.flush());
}

}  // namespace qvtf::test
