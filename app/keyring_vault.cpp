#include "app/keyring_vault.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <qt6keychain/keychain.h>

#include "app/prompts.h"

namespace {

// Runs job until it has finished or bound_ms have passed; true when it
// finished. A job still running afterwards deletes itself when it ends.
bool run(QKeychain::Job* job, int bound_ms)
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool done = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(bound_ms, &loop, &QEventLoop::quit);
    job->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done)
        job->setAutoDelete(true);
    return done;
}

std::string error_of(const QKeychain::Job& job)
{
    const QString text = job.errorString();
    return text.isEmpty() ? "error " + std::to_string(job.error()) : text.toStdString();
}

template <class Job>
struct job_holder {
    Job* job;
    bool finished = false;
    ~job_holder()
    {
        if (finished)
            delete job;
    }
};

}  // namespace

keyring_vault::keyring_vault(const qvtf::qxlang* language, int bound_ms) : language_(language), bound_ms_(bound_ms) {}

bool keyring_vault::available(std::string& why)
{
    if (state_ == 0) {
        // Any answer but "no keyring here" means one is there: looking up an
        // entry nobody wrote says "not found".
        bool found = false;
        std::string secret;
        state_ = 1;
        if (!read("probe", secret, found, why_absent_))
            state_ = 2;
    }
    why = why_absent_;
    return state_ == 1;
}

bool keyring_vault::write(const std::string& name, const std::string& secret, std::string& why)
{
    if (state_ == 2) {
        why = why_absent_;
        return false;
    }
    job_holder<QKeychain::WritePasswordJob> h{new QKeychain::WritePasswordJob(service)};
    h.job->setKey(QString::fromStdString(name));
    h.job->setBinaryData(QByteArray(secret.data(), static_cast<qsizetype>(secret.size())));
    if (!(h.finished = run(h.job, bound_ms_))) {
        state_ = 2;
        why = why_absent_ = phrase_text(language_, 1511, "no keyring answered in time").toStdString();
        return false;
    }
    if (h.job->error() == QKeychain::NoError)
        return true;
    why = error_of(*h.job);
    return false;
}

bool keyring_vault::read(const std::string& name, std::string& secret, bool& found, std::string& why)
{
    found = false;
    if (state_ == 2) {
        why = why_absent_;
        return false;
    }
    job_holder<QKeychain::ReadPasswordJob> h{new QKeychain::ReadPasswordJob(service)};
    h.job->setKey(QString::fromStdString(name));
    if (!(h.finished = run(h.job, bound_ms_))) {
        state_ = 2;
        why = why_absent_ = phrase_text(language_, 1511, "no keyring answered in time").toStdString();
        return false;
    }
    switch (h.job->error()) {
    case QKeychain::NoError: {
        const QByteArray data = h.job->binaryData();
        secret.assign(data.constData(), static_cast<std::size_t>(data.size()));
        found = true;
        return true;
    }
    case QKeychain::EntryNotFound: return true;
    default: why = error_of(*h.job); return false;
    }
}

bool keyring_vault::remove(const std::string& name, std::string& why)
{
    if (state_ == 2) {
        why = why_absent_;
        return false;
    }
    job_holder<QKeychain::DeletePasswordJob> h{new QKeychain::DeletePasswordJob(service)};
    h.job->setKey(QString::fromStdString(name));
    if (!(h.finished = run(h.job, bound_ms_))) {
        state_ = 2;
        why = why_absent_ = phrase_text(language_, 1511, "no keyring answered in time").toStdString();
        return false;
    }
    if (h.job->error() == QKeychain::NoError || h.job->error() == QKeychain::EntryNotFound)
        return true;
    why = error_of(*h.job);
    return false;
}
