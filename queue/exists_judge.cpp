#include "queue/exists_judge.h"

namespace qvtf {

void exists_asking::answer(const exists_answer& given)
{
    {
        std::lock_guard held(mutex_);
        if (answer_ || cancelled_)
            return;
        answer_ = given;
    }
    cv_.notify_all();
}

void exists_asking::cancel()
{
    std::function<void()> hook;
    {
        std::lock_guard held(mutex_);
        if (cancelled_ || answer_)
            return;
        cancelled_ = true;
        hook.swap(hook_);
    }
    cv_.notify_all();
    if (hook)
        hook();
}

bool exists_asking::cancelled() const
{
    std::lock_guard held(mutex_);
    return cancelled_;
}

void exists_asking::on_cancel(std::function<void()> hook)
{
    {
        std::lock_guard held(mutex_);
        if (!cancelled_) {
            hook_ = std::move(hook);
            return;
        }
    }
    if (hook)
        hook();
}

std::optional<exists_answer> exists_asking::wait()
{
    std::unique_lock held(mutex_);
    cv_.wait(held, [&] { return answer_ || cancelled_; });
    if (cancelled_)
        return std::nullopt;
    return answer_;
}

}  // namespace qvtf
