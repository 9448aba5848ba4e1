#include "core/own_temporaries.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace qvtf {

namespace {

constexpr std::string_view marker = ".qvtf-part-";
constexpr std::size_t random_part = 6;  // mkstemp's XXXXXX

// A fixed table, as a signal handler may neither lock nor allocate. A slot
// is free (0), being filled or emptied (1), or holds a path (2).
constexpr int slot_count = 64;
struct slot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
slot slots[slot_count];

void remove_and_end(int signal_number)
{
    remove_own_temporaries();
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

}  // namespace

std::string own_temporary_template(std::string_view target)
{
    const std::size_t slash = target.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : target.substr(0, slash + 1);
    const std::string_view name = slash == std::string_view::npos ? target : target.substr(slash + 1);
    // A long name is cut so that the temporary's name stays within NAME_MAX.
    const std::size_t room = NAME_MAX - 1 - marker.size() - random_part;
    std::string out(folder);
    out += '.';
    out += name.substr(0, room);
    out += marker;
    out.append(random_part, 'X');
    return out;
}

bool is_own_temporary(std::string_view name)
{
    if (name.size() < 1 + marker.size() + random_part || name.front() != '.')
        return false;
    return name.substr(name.size() - random_part - marker.size(), marker.size()) == marker;
}

int remember_own_temporary(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < slot_count; ++i) {
        int expected = 0;
        if (!slots[i].state.compare_exchange_strong(expected, 1))
            continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(2);
        return i;
    }
    return -1;
}

void forget_own_temporary(int slot)
{
    if (slot < 0 || slot >= slot_count)
        return;
    int expected = 2;
    if (slots[slot].state.compare_exchange_strong(expected, 1))
        slots[slot].state.store(0);
}

void remove_own_temporaries()
{
    for (slot& s : slots) {
        int expected = 2;
        if (s.state.compare_exchange_strong(expected, 1))
            ::unlink(s.path);
    }
}

void remove_own_temporaries_on_signals()
{
    struct sigaction action {};
    action.sa_handler = &remove_and_end;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal_number, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace qvtf
