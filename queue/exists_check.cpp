// What a file does with a target that is already there: the facts of both
// files, the action (the user's answer where it says "ask"), and what the
// item then does: overwrite, continue the target, write to another name or
// leave it.
#include "queue/exists_plan.h"
#include "queue/queue_worker.h"

namespace qvtf {

namespace {

file_facts listed_facts(const ftp_queue_item& item)
{
    file_facts facts;
    facts.exists = true;
    facts.size = item.size >= 0 && item.size != INT64_MAX ? item.size : -1;
    facts.time = item.modified_time;
    facts.precision = item.time_exact ? 1 : 60;
    return facts;
}

}  // namespace

void ftp_queue_process_manager::set_exists_judge(std::shared_ptr<exists_judge> judge)
{
    std::lock_guard held(lock_);
    exists_judge_ = std::move(judge);
}

ftp_queue_process_manager::target_step ftp_queue_process_manager::settle_target(ftp_queue_item& item,
                                                                                  transfer_request& request,
                                                                                  remote_session& c)
{
    exists_action action = exists_action::overwrite;
    {
        std::lock_guard held(lock_);
        if (item.exists_settled)
            return target_step::go;
        item.exists_settled = true;
        action = item.is_download ? download_exists.load() : upload_exists.load();
    }
    // Overwriting needs no facts: not a byte more on the wire than before.
    if (action == exists_action::overwrite)
        return target_step::go;
    const bool download = item.is_download != 0;
    const exists_needs needs = needs_of(action);
    const file_facts source = download ? listed_facts(item) : local_facts(item.local_path);
    const file_facts target = download ? local_facts(item.local_path) : remote_facts(c, item.remote_path, needs);
    const qxval& folder = download ? item.local_folder : item.remote_folder;
    const qxval& target_path = download ? item.local_path : item.remote_path;
    const exists_target where{download, item.transfer_type == 0, folder.str(),
                              target_path.str().substr(folder.str().size())};

    exists_decision decision = decide_exists(action, source, target);
    std::string typed;
    if (decision.outcome == exists_outcome::ask) {
        exists_question question;
        question.is_download = download;
        question.source_path = (download ? item.remote_path : item.local_path).str();
        question.target_path = target_path.str();
        question.target_folder = where.folder;
        question.name = where.name;
        question.source = source;
        question.target = target;
        question.suggested_name = free_name(c, where);
        const std::optional<exists_answer> answer = ask_exists(item, std::move(question));
        if (!answer)
            return target_step::stopped;
        const exists_action chosen = answer->action == exists_action::ask ? exists_action::skip : answer->action;
        decision = decide_exists(chosen, source, target);
        typed = answer->new_name;
    }

    const exists_plan plan = plan_exists(c, decision, where, typed);
    if (plan.note)
        log_line(std::string(phrase(plan.note)) + target_path.str(), log_info);
    switch (plan.outcome) {
    case exists_outcome::write:
    case exists_outcome::overwrite:
    case exists_outcome::ask: return target_step::go;
    case exists_outcome::skip: return target_step::skip;
    case exists_outcome::resume: {
        std::lock_guard held(lock_);
        item.continue_target = true;
        continue_target(request);
        return target_step::go;
    }
    case exists_outcome::rename: {
        const std::string before = target_path.str();
        retarget(item, request, plan.new_name);
        log_line(std::string(phrase(phrase_exists_renamed)) + before + std::string(phrase(phrase_exists_renamed_as)) +
                     plan.new_name,
                 log_info);
        return target_step::go;
    }
    }
    return target_step::go;
}

std::optional<exists_answer> ftp_queue_process_manager::ask_exists(ftp_queue_item& item, exists_question question)
{
    const bool download = question.is_download;
    const std::string folder = question.target_folder;
    auto remembered = [&]() -> std::optional<exists_answer> {
        for (const std::string& key : {folder, std::string()})
            if (auto it = exists_answers_.find({download, key}); it != exists_answers_.end())
                return it->second;
        return std::nullopt;
    };
    std::unique_lock held(lock_);
    if (auto answer = remembered())
        return answer;
    if (!exists_judge_ || !open_)
        return exists_answer{};  // nobody to ask: the target stays
    auto asking = std::make_shared<exists_asking>(std::move(question));
    asking_.emplace_back(&item, asking);
    auto forget = [&] {
        std::erase_if(asking_, [&](const auto& entry) { return entry.second == asking; });
    };
    // One dialog at a time; an answer for all given meanwhile ends the wait.
    asking_cv_.wait(held, [&] { return !question_shown_ || asking->cancelled(); });
    if (asking->cancelled()) {
        forget();
        return std::nullopt;
    }
    if (auto answer = remembered()) {
        forget();
        return answer;
    }
    question_shown_ = true;
    const std::shared_ptr<exists_judge> judge = exists_judge_;
    held.unlock();
    judge->ask(asking);
    std::optional<exists_answer> answer = asking->wait();
    held.lock();
    question_shown_ = false;
    forget();
    if (answer && answer->apply_to_all) {
        exists_answer kept = *answer;
        kept.new_name.clear();  // a typed name is this file's alone
        exists_answers_[{download, answer->only_this_folder ? folder : std::string()}] = kept;
    }
    held.unlock();
    asking_cv_.notify_all();
    return answer;
}

void ftp_queue_process_manager::cancel_questions_locked(const ftp_queue_item* item)
{
    for (auto& [asked_for, asking] : asking_)
        if (!item || asked_for == item)
            asking->cancel();
    asking_cv_.notify_all();
}

void ftp_queue_process_manager::skip_done(ftp_queue_item* item)
{
    std::unique_lock held(lock_);
    if (!contains_locked(item))
        return;
    queue_item_result outcome;
    outcome.is_download = item->is_download;
    outcome.local_path = item->local_path;
    outcome.remote_path = item->remote_path;
    outcome.succeeded = true;
    outcome.skipped = true;
    outcome.tries = item->tries;
    outcome.again = saved_of(*item);
    const std::string target = (item->is_download ? item->local_path : item->remote_path).str();
    bool now_empty = false;
    std::unique_ptr<ftp_queue_item> gone = unlink_locked(item, now_empty);
    const bool is_open = open_;
    held.unlock();
    if (is_open)
        log_line(std::string(phrase(phrase_exists_skipped)) + target, log_info);
    if (observer)
        observer->on_finished(outcome);
    after_removal(now_empty);
}

void ftp_queue_process_manager::log_line(const std::string& text, int kind)
{
    if (!log_sink)
        return;
    log_sink(sink_context, text + "\r\n", kind);
}

}  // namespace qvtf
