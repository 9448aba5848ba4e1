#include "app/keyring_vault.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <qt6keychain/keychain.h>

#include "app/prompts.h"

namespace {

std::string error_of(const QKeychain::Job& job)
{
    const QString text = job.errorString();
    return text.isEmpty() ? "error " + std::to_string(job.error()) : text.toStdString();
}

}  // namespace

keyring_vault::keyring_vault(const qvtf::qxlang* language, int bound_ms) : language_(language), bound_ms_(bound_ms) {}

bool keyring_vault::run(std::unique_ptr<QKeychain::Job>& job, const std::string& name, std::string& why)
{
    if (state_ == 2) {
        why = why_absent_;
        return false;
    }
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(name));
    QEventLoop loop;
    bool done = false;
    QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(bound_ms_, &loop, &QEventLoop::quit);
    job->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (done)
        return true;
    // Still running: it deletes itself when it ends.
    job.release()->setAutoDelete(true);
    state_ = 2;
    why = why_absent_ = phrase_text(language_, 1511, "no keyring answered in time").toStdString();
    return false;
}

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
    auto job = std::make_unique<QKeychain::WritePasswordJob>(service);
    job->setBinaryData(QByteArray(secret.data(), static_cast<qsizetype>(secret.size())));
    std::unique_ptr<QKeychain::Job> held(job.release());
    if (!run(held, name, why))
        return false;
    if (held->error() == QKeychain::NoError)
        return true;
    why = error_of(*held);
    return false;
}

bool keyring_vault::read(const std::string& name, std::string& secret, bool& found, std::string& why)
{
    found = false;
    std::unique_ptr<QKeychain::Job> held(new QKeychain::ReadPasswordJob(service));
    if (!run(held, name, why))
        return false;
    switch (held->error()) {
    case QKeychain::NoError: {
        const QByteArray data = static_cast<QKeychain::ReadPasswordJob&>(*held).binaryData();
        secret.assign(data.constData(), static_cast<std::size_t>(data.size()));
        found = true;
        return true;
    }
    case QKeychain::EntryNotFound: return true;
    default: why = error_of(*held); return false;
    }
}

bool keyring_vault::remove(const std::string& name, std::string& why)
{
    std::unique_ptr<QKeychain::Job> held(new QKeychain::DeletePasswordJob(service));
    if (!run(held, name, why))
        return false;
    if (held->error() == QKeychain::NoError || held->error() == QKeychain::EntryNotFound)
        return true;
    why = error_of(*held);
    return false;
}
