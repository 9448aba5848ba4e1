// The trust file: what it accepts, what it skips, how it is saved, and the
// judge's answers with "once" shared by every session of the object.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "remote/certificate_trust.h"
#include "support/process.h"

namespace qvtf::test {
namespace {

std::string print(char c)
{
    std::string text;
    for (int i = 0; i < 32; ++i)
        text += std::string(i ? ":" : "") + c + c;
    return text;
}

class counting_judge : public certificate_judge {
public:
    explicit counting_judge(certificate_verdict v) : verdict(v) {}
    certificate_verdict judge(const certificate_facts&) override
    {
        ++asked;
        return verdict;
    }
    certificate_verdict verdict;
    int asked = 0;
};

TEST(CertificateTrust, FileLinesAndSaving)
{
    temp_folder folder("qvtf-trust");
    const std::string file = folder.file("sub/trusted.txt");
    ::mkdir(folder.file("sub").c_str(), 0700);
    {
        std::ofstream out(file);
        out << "# comment\n"
            << "\n"
            << "ftp.example.org:21 " << print('a') << "\n"       // lower case is the same print
            << "short:21 AB:CD\n"                                 // not a fingerprint: skipped
            << "[::1]:990 " << print('B') << "\n"
            << "only-one-field\n";
    }
    certificate_trust trust(file);
    const struct {
        const char* host;
        int32_t port;
        std::string stored;
    } cases[] = {
        {"FTP.Example.org", 21, print('A')},  // host names are case-blind
        {"ftp.example.org", 2121, ""},        // another port is another server
        {"short", 21, ""},
        {"::1", 990, print('B')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trust.stored(c.host, c.port), c.stored) << c.host << ":" << c.port;

    // Saving replaces one entry, keeps the others, and keeps the file private.
    ASSERT_TRUE(trust.remember("ftp.example.org", 21, print('c')));
    EXPECT_EQ(trust.stored("ftp.example.org", 21), print('C'));
    EXPECT_EQ(trust.stored("::1", 990), print('B'));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(trust.remember("x", 1, "AB:CD")) << "not a fingerprint";
    EXPECT_FALSE(certificate_trust().remember("x", 1, print('A'))) << "no file";
}

TEST(CertificateTrust, VerdictsAndWhatTheyLeave)
{
    const struct {
        const char* name;
        bool with_judge;
        certificate_verdict verdict;
        bool stored_before;  // another certificate was trusted for the server
        bool accepted;
        bool saved;
        int asked_twice;  // the judge's count after the same certificate twice
    } cases[] = {
        {"no judge", false, certificate_verdict::trust_always, false, false, false, 0},
        {"reject", true, certificate_verdict::reject, false, false, false, 2},
        {"once", true, certificate_verdict::trust_once, false, true, false, 1},
        {"always", true, certificate_verdict::trust_always, false, true, true, 1},
        {"changed, rejected", true, certificate_verdict::reject, true, false, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_folder folder("qvtf-trust");
        certificate_trust trust(folder.file("trusted.txt"));
        if (c.stored_before) {
            ASSERT_TRUE(trust.remember("h", 21, print('1')));
        }
        auto judge = std::make_shared<counting_judge>(c.verdict);
        if (c.with_judge)
            trust.set_judge(judge);
        certificate_facts facts;
        facts.host = "h";
        facts.port = 21;
        facts.sha256 = print('2');
        EXPECT_EQ(trust.accept(facts), c.accepted);
        EXPECT_EQ(facts.stored_sha256, c.stored_before ? print('1') : "") << "the judge hears of the change";
        certificate_facts again = facts;
        EXPECT_EQ(trust.accept(again), c.accepted);
        EXPECT_EQ(judge->asked, c.asked_twice);
        EXPECT_EQ(trust.stored("h", 21), c.saved ? print('2') : c.stored_before ? print('1') : "");
    }
}

}  // namespace
}  // namespace qvtf::test
