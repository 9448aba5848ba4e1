// What a log line costs on its way from a session to the window's log: one
// string for the line, nothing per line beyond it, counted with a global
// operator new that counts on the measuring thread only.
#include <gtest/gtest.h>

#include <QTextBlock>
#include <atomic>
#include <cstdlib>
#include <new>

#include "app/log_view.h"
#include "app/session_watch.h"
#include "gui_support.h"
#include "remote/remote_log.h"
#include "support/fake_remote_session.h"

namespace {

thread_local bool counting = false;
thread_local long allocations = 0;

}  // namespace

void* operator new(std::size_t size)
{
    if (counting)
        ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

// Every form that pairs with the deletes above comes from malloc too, or a
// sanitizer sees its own allocation freed by free().
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (counting)
        ++allocations;
    return std::malloc(size ? size : 1);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace {

TEST(LogCost, EachLineCostsItsOwnStringAndNothingMore)
{
    gui_application();
    log_view log;
    qvtf::test::fake_remote_session first;
    qvtf::test::fake_remote_session second;
    session_watch first_watch(&log, nullptr);
    session_watch second_watch(&log, nullptr);
    struct row {
        const char* what;
        qvtf::remote_observer* watch;
        qvtf::remote_session* session;
        int kind;
        const char* text;
        int lines;
        const char* last_shown;
    };
    const row rows[] = {
        {"command", &first_watch, &first, qvtf::log_command, "RETR f1\r\n", 1, "[worker 1] > RETR f1"},
        {"reply", &second_watch, &second, qvtf::log_reply, "226 Transfer complete.\r\n", 1,
         "[worker 2] < 226 Transfer complete."},
        {"multi-line reply", &second_watch, &second, qvtf::log_reply, "211-Features:\r\n MDTM\r\n211 End\r\n", 3,
         "[worker 2] < 211 End"},
        {"queue line", &first_watch, &first, qvtf::log_download_done, "Downloaded f1\r\n", 1,
         "[worker 1] <- Downloaded f1"},
    };
    constexpr int calls = 1000;
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        // Two rounds fill both of the view's line buffers and the tags.
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < calls; ++i)
                qvtf::log_to_observer(r.watch, *r.session, r.kind, r.text);
            ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == r.last_shown; }));
        }
        allocations = 0;
        counting = true;
        for (int i = 0; i < calls; ++i)
            qvtf::log_to_observer(r.watch, *r.session, r.kind, r.text);
        counting = false;
        const long lines = long(calls) * r.lines;
        // One string per line; the first line of a batch posts one call to the window.
        EXPECT_LE(allocations, lines + 4) << double(allocations) / double(lines) << " per line";
        ASSERT_TRUE(process_until([&] { return log.document()->lastBlock().text() == r.last_shown; }));
    }
}

}  // namespace

namespace {

// An observer that keeps to the old form gets one value per line, each
// ending in "\r\n", whatever line ends the text had.
TEST(LogCost, ObserversOfValuesGetOneValuePerLine)
{
    struct values : qvtf::remote_observer {
        std::vector<std::string> got;
        void on_log(qvtf::remote_session&, std::unique_ptr<qvtf::qxarr> lines, int) override
        {
            for (const qvtf::qxval& line : *lines)
                got.push_back(line.str());
        }
    };
    qvtf::test::fake_remote_session session;
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"226 Done\r\n", {"226 Done\r\n"}},
        {"211-Features:\r\n MDTM\r\n211 End\r\n", {"211-Features:\r\n", " MDTM\r\n", "211 End\r\n"}},
        {"no line end", {"no line end\r\n"}},
        {"bare\nends\n", {"bare\r\n", "ends\r\n"}},
        {"", {}},
    };
    for (const auto& [text, expected] : rows) {
        values observer;
        qvtf::log_to_observer(&observer, session, qvtf::log_reply, text);
        EXPECT_EQ(observer.got, expected) << text;
    }
}

}  // namespace
