// "Ask" when a transfer's target exists: the queue's worker puts one
// question in an exists_asking and hands it to the judge, which must not
// block (the window shows a dialog later, on its own thread); the worker
// then waits on the question, holding no lock of the queue, until the user
// answers or the item is stopped. A stop cancels the question, and the
// judge's cancel hook closes whatever shows it.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "queue/exists_action.h"

namespace qvtf {

struct exists_question {
    bool is_download = false;
    std::string source_path;
    std::string target_path;
    std::string target_folder;  // ends in its separator
    std::string name;           // the target's name
    file_facts source;
    file_facts target;
    // The automatic new name, offered in the rename field.
    std::string suggested_name;
};

struct exists_answer {
    // Anything but ask; rename writes to new_name (a plain name in the
    // target's folder; empty: the automatic one).
    exists_action action = exists_action::skip;
    std::string new_name;
    // Remembered for the rest of this run of the queue, for every file of
    // this direction, or with only_this_folder for those of the same folder.
    bool apply_to_all = false;
    bool only_this_folder = false;
};

class exists_asking {
public:
    explicit exists_asking(exists_question q) : question(std::move(q)) {}
    const exists_question question;

    // The judge's side, any thread: the first answer counts.
    void answer(const exists_answer& given);
    // The queue's side: the item stopped, or the queue closes.
    void cancel();
    bool cancelled() const;
    // Run at once when cancelled already, else by cancel (on its thread).
    void on_cancel(std::function<void()> hook);
    // The worker: the answer, or nothing when cancelled.
    std::optional<exists_answer> wait();

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::optional<exists_answer> answer_;
    bool cancelled_ = false;
    std::function<void()> hook_;
};

class exists_judge {
public:
    virtual ~exists_judge() = default;
    // Must return at once; the answer goes into the question.
    virtual void ask(std::shared_ptr<exists_asking> question) = 0;
};

}  // namespace qvtf
