// Simulates a full disk: while it lives, writes past the limit fail with
// EFBIG instead of killing the process. Works as root too, unlike a
// read-only folder.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace qvtf::test {

class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        active_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
        old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        active_ = active_ && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~file_size_limit()
    {
        if (active_)
            ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, old_handler_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

    bool active() const { return active_; }

private:
    struct rlimit old_ {};
    void (*old_handler_)(int) = SIG_DFL;
    bool active_ = false;
};

}  // namespace qvtf::test
