// Measures how the queue's SFTP workers should reach one server: each on
// its own SSH connection, or as SFTP channels of one connection. libssh
// allows one thread at a time in a session, so the channels' workers take
// turns at it, each whole request under one lock.
//   sftp_channels HOST PORT USER KEY KNOWN_HOSTS FOLDER FILES WORKERS
// fetches FOLDER/f1 .. FOLDER/fFILES into memory both ways, three times
// each, and prints the median wall time of each way.
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct target {
    std::string host, user, key, known_hosts, folder;
    int port = 22;
    int files = 0;
};

ssh_session connect(const target& t)
{
    ssh_session s = ssh_new();
    ssh_options_set(s, SSH_OPTIONS_HOST, t.host.c_str());
    ssh_options_set(s, SSH_OPTIONS_PORT, &t.port);
    ssh_options_set(s, SSH_OPTIONS_USER, t.user.c_str());
    ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, t.known_hosts.c_str());
    ssh_options_set(s, SSH_OPTIONS_CIPHERS_C_S, "aes128-gcm@openssh.com,chacha20-poly1305@openssh.com");
    ssh_options_set(s, SSH_OPTIONS_CIPHERS_S_C, "aes128-gcm@openssh.com,chacha20-poly1305@openssh.com");
    ssh_key key = nullptr;
    if (ssh_connect(s) != SSH_OK || ssh_session_is_known_server(s) != SSH_KNOWN_HOSTS_OK ||
        ssh_pki_import_privkey_file(t.key.c_str(), nullptr, nullptr, nullptr, &key) != SSH_OK ||
        ssh_userauth_publickey(s, nullptr, key) != SSH_AUTH_SUCCESS) {
        std::fprintf(stderr, "login failed: %s\n", ssh_get_error(s));
        std::exit(1);
    }
    ssh_key_free(key);
    return s;
}

sftp_session open_channel(ssh_session s)
{
    sftp_session f = sftp_new(s);
    if (!f || sftp_init(f) != SSH_OK) {
        std::fprintf(stderr, "sftp failed: %s\n", ssh_get_error(s));
        std::exit(1);
    }
    return f;
}

bool fetch(sftp_session f, const std::string& path)
{
    sftp_file file = sftp_open(f, path.c_str(), O_RDONLY, 0);
    if (!file)
        return false;
    char buffer[64 * 1024];
    ssize_t n;
    while ((n = sftp_read(file, buffer, sizeof buffer)) > 0) {
    }
    sftp_close(file);
    return n == 0;
}

std::string file_name(const target& t, int i)
{
    return t.folder + "/f" + std::to_string(i + 1);
}

// Worker k fetches files k, k + workers, ...
double timed(int workers, const std::function<void(int)>& work)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int k = 0; k < workers; ++k)
        threads.emplace_back(work, k);
    for (auto& t : threads)
        t.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double connections(const target& t, int workers)
{
    // Logins are part of what a queue run pays.
    return timed(workers, [&](int k) {
        ssh_session s = connect(t);
        sftp_session f = open_channel(s);
        for (int i = k; i < t.files; i += workers)
            if (!fetch(f, file_name(t, i)))
                std::fprintf(stderr, "fetch failed: %s\n", file_name(t, i).c_str());
        sftp_free(f);
        ssh_disconnect(s);
        ssh_free(s);
    });
}

double channels(const target& t, int workers)
{
    std::mutex turn;
    ssh_session s = nullptr;
    std::vector<sftp_session> channel(workers, nullptr);
    const double seconds = timed(workers, [&](int k) {
        {
            std::lock_guard<std::mutex> hold(turn);
            if (!s)
                s = connect(t);
            channel[k] = open_channel(s);
        }
        for (int i = k; i < t.files; i += workers) {
            std::lock_guard<std::mutex> hold(turn);
            if (!fetch(channel[k], file_name(t, i)))
                std::fprintf(stderr, "fetch failed: %s\n", file_name(t, i).c_str());
        }
    });
    for (sftp_session f : channel)
        sftp_free(f);
    ssh_disconnect(s);
    ssh_free(s);
    return seconds;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 9) {
        std::fprintf(stderr, "usage: %s HOST PORT USER KEY KNOWN_HOSTS FOLDER FILES WORKERS\n", argv[0]);
        return 2;
    }
    target t;
    t.host = argv[1];
    t.port = std::atoi(argv[2]);
    t.user = argv[3];
    t.key = argv[4];
    t.known_hosts = argv[5];
    t.folder = argv[6];
    t.files = std::atoi(argv[7]);
    const int workers = std::max(1, std::atoi(argv[8]));
    ssh_init();
    std::vector<double> apart, shared;
    for (int run = 0; run < 3; ++run) {
        apart.push_back(connections(t, workers));
        shared.push_back(channels(t, workers));
    }
    std::printf("%d files, %d workers: own connections %.2f s, channels of one connection %.2f s (median of 3)\n",
                t.files, workers, median(apart), median(shared));
    ssh_finalize();
    return 0;
}
