// What a server offers in its FEAT answer, and what the session makes of it
// against the scripted server: machine listings and their fall-back to LIST,
// and a download that continues where a broken attempt stopped.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "ftp_test_session.h"
#include "support/process.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

server_features features_of(const std::vector<std::string>& lines)
{
    qxarr reply;
    for (const std::string& line : lines)
        reply.push_copy(qxval(line));
    return ftp_control::parse_features(reply);
}

TEST(ServerFeatures, TheFeatAnswerNamesWhatIsOffered)
{
    struct feat_case {
        const char* name;
        std::vector<std::string> lines;
        std::string offered;  // server_features::names()
        std::string facts;
    };
    const feat_case table[] = {
        {"a modern server",
         {"211-Features:", " MLST type*;size*;modify*;perm*;unix.mode*;", " MDTM", " MFMT", " SIZE", " REST STREAM",
          " UTF8", " EPSV", " AUTH TLS", "211 End"},
         "MLSD MLST MDTM MFMT SIZE REST STREAM UTF8 EPSV AUTH TLS",
         "type*;size*;modify*;perm*;unix.mode*;"},
        // Lower case, no leading space, REST without STREAM, AUTH SSL only.
        {"an odd one", {"211-Extensions", "mdtm", "REST", "AUTH SSL", " size ", "211 END"}, "MDTM SIZE", ""},
        // The reply's own first and last lines are no features.
        {"nothing", {"211-MDTM", "211 SIZE"}, "", ""},
    };
    for (const feat_case& c : table) {
        SCOPED_TRACE(c.name);
        const server_features f = features_of(c.lines);
        EXPECT_TRUE(f.known);
        EXPECT_EQ(f.names(), c.offered);
        EXPECT_EQ(f.mlst_facts, c.facts);
    }
}

// Greeting, USER, PASS and PWD of a login to "/"; FEAT is answered on the side.
scripted_ftp_server& login_script(scripted_ftp_server& server)
{
    return server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n").expect("257 \"/\"\r\n");
}

int start_and_log_in(logged_session& session, scripted_ftp_server& server)
{
    server.start();
    session.reconfigure([&](remote_site& site, remote_options& options) {
        site.port = server.port();
        site.user_name.set_string("u");
        site.password.set_string("p");
        options.timeout = 5;
        options.passive = true;
        options.listing_reader = parser();
    });
    if (int status = session.log_in())
        return status;
    return session.print_folder();
}

std::vector<std::string> names_in(ftp_control& session)
{
    std::vector<std::string> out;
    qxfile_tree::reader hold(session.folder_tree());
    for (qxfile_node* n = session.current_folder()->first_child; n; n = n->next)
        out.push_back(n->name.str());
    return out;
}

// Data peers that each serve one connection.
struct peers {
    std::vector<std::unique_ptr<data_peer>> all;
    data_peer& add(std::string bytes, data_peer::mode m = data_peer::mode::send)
    {
        all.push_back(std::make_unique<data_peer>(m, std::move(bytes)));
        all.back()->accept_in_background();
        return *all.back();
    }
};

const std::string mlsd_offered = "211-Features:\r\n MLST type*;size*;modify*;\r\n MDTM\r\n UTF8\r\n211 End\r\n";

TEST(ServerFeatures, MachineListingsAndTheirFallBackToList)
{
    struct listing_case {
        const char* name;
        // The server's answers to both listings, with the data peers they use.
        std::function<void(scripted_ftp_server&, peers&)> script;
        std::vector<std::string> commands;  // sent after PWD
        std::vector<std::string> first, second;
        bool exact;
    };
    const std::string mlsd_body = "type=cdir; /\r\ntype=file;size=3;modify=20200102030405;  spaced\r\n";
    const std::string list_body = "-rw-r--r-- 1 u g 3 Jan  2  2020 plain\r\n";
    const listing_case table[] = {
        {"MLSD where offered",
         [&](scripted_ftp_server& s, peers& p) {
             s.expect("200 ascii\r\n").expect(p.add(mlsd_body).pasv_reply());
             s.expect("150 here\r\n226 done\r\n").expect(p.add(mlsd_body).pasv_reply()).expect("150 here\r\n226 done\r\n");
         },
         {"TYPE A", "PASV", "MLSD", "PASV", "MLSD"},
         {" spaced"},
         {" spaced"},
         true},
        {"refused MLSD: LIST, and LIST from then on",
         [&](scripted_ftp_server& s, peers& p) {
             s.expect("200 ascii\r\n").expect(p.add("", data_peer::mode::silent).pasv_reply());
             s.expect("500 MLSD not understood\r\n").expect(p.add(list_body).pasv_reply());
             s.expect("150 here\r\n226 done\r\n").expect(p.add(list_body).pasv_reply()).expect("150 here\r\n226 done\r\n");
         },
         {"TYPE A", "PASV", "MLSD", "PASV", "LIST -al", "PASV", "LIST -al"},
         {"plain"},
         {"plain"},
         false},
    };
    for (const listing_case& c : table) {
        SCOPED_TRACE(c.name);
        peers p;
        scripted_ftp_server server;
        server.offer(mlsd_offered);
        // UTF-8 names are asked for before anything else.
        server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n").expect("200 utf8\r\n");
        server.expect("257 \"/\"\r\n");
        c.script(server, p);
        logged_session session;
        session.reconfigure([](remote_site&, remote_options& o) { o.list_parameters.set_string("-al"); });
        ASSERT_EQ(start_and_log_in(session, server), 0);
        EXPECT_TRUE(session.features().mlsd);
        EXPECT_EQ(session.list_directory(qxval("")), 0);
        EXPECT_EQ(names_in(session), c.first);
        EXPECT_EQ(session.last_listing().exact_times, c.exact);
        EXPECT_EQ(session.list_directory(qxval("")), 0);
        EXPECT_EQ(names_in(session), c.second);
        {
            // Entries listed again keep what the new listing says of them.
            qxfile_tree::reader hold(session.folder_tree());
            EXPECT_EQ(session.current_folder()->first_child->time_exact != 0, c.exact);
        }
        const lines sent = server.lines();
        ASSERT_GE(sent.size(), 4u);
        EXPECT_EQ(sent[2], "OPTS UTF8 ON");
        EXPECT_EQ(lines(sent.begin() + 4, sent.end()), c.commands);
    }
}

TEST(ServerFeatures, ABrokenDownloadContinuesWithRest)
{
    const std::string content = pattern_bytes(100000, 5);
    const std::size_t cut = 40000;
    temp_folder folder("qvtf-resume");
    const std::string target = folder.file("f");
    data_peer first(data_peer::mode::send, content.substr(0, cut));
    data_peer second(data_peer::mode::send, content.substr(cut));
    first.accept_in_background();
    scripted_ftp_server server;
    server.offer("211-Features:\r\n REST STREAM\r\n SIZE\r\n211 End\r\n");
    login_script(server).expect("200 binary\r\n").expect(first.pasv_reply()).expect("150 here\r\n426 broken\r\n");
    server.expect(second.pasv_reply()).expect("350 restarting\r\n").expect("150 here\r\n226 done\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);

    transfer_request request = transfer_request::make(1, qxval(target), qxval("f"), 0);
    request.expected_size = int64_t(content.size());
    request.keep_partial = true;
    const transfer_record broken = session.transfer_file(request);
    EXPECT_NE(broken.result.status, 0);
    ASSERT_FALSE(broken.partial_path.empty());
    EXPECT_FALSE(file_exists(target)) << "nothing in place before the file is whole";
    EXPECT_EQ(read_bytes(broken.partial_path), content.substr(0, cut));
    EXPECT_EQ(std::filesystem::status(broken.partial_path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    second.accept_in_background();
    request.partial_path = qxval(broken.partial_path);
    const transfer_record resumed = session.transfer_file(request);
    EXPECT_EQ(resumed.result.status, 0);
    EXPECT_EQ(resumed.resumed_from, int64_t(cut));
    EXPECT_EQ(resumed.bytes, int64_t(content.size()));
    EXPECT_TRUE(resumed.partial_path.empty());
    EXPECT_EQ(read_bytes(target), content);
    EXPECT_FALSE(file_exists(broken.partial_path));
    const lines sent = server.lines();
    EXPECT_EQ(lines(sent.begin() + std::min<size_t>(sent.size(), 3), sent.end()),
              (lines{"TYPE I", "PASV", "RETR f", "PASV", "REST 40000", "RETR f"}));
}

// The upload's second attempt asks what the server holds and sends the
// rest: REST and STOR where streams restart, APPE where they do not.
TEST(ServerFeatures, ABrokenUploadContinuesWhatTheServerHolds)
{
    const std::string content = pattern_bytes(300000, 6);
    const std::size_t held = 120000;
    struct upload_case {
        const char* name;
        std::string offered;
        lines second;  // the second attempt's commands
    };
    const upload_case table[] = {
        {"REST STREAM", "211-Features:\r\n REST STREAM\r\n SIZE\r\n211 End\r\n",
         {"SIZE f", "PASV", "REST 120000", "STOR f"}},
        {"SIZE alone", "211-Features:\r\n SIZE\r\n211 End\r\n", {"SIZE f", "PASV", "APPE f"}},
    };
    for (const upload_case& c : table) {
        SCOPED_TRACE(c.name);
        temp_folder folder("qvtf-resume-up");
        ASSERT_TRUE(write_bytes(folder.file("f"), content));
        data_peer first(data_peer::mode::record_then_reset, std::string(held, '.'));
        data_peer second(data_peer::mode::record);
        first.accept_in_background();
        second.accept_in_background();
        scripted_ftp_server server;
        server.offer(c.offered);
        login_script(server).expect("200 binary\r\n").expect(first.pasv_reply()).expect("150 here\r\n426 broken\r\n");
        server.expect("213 " + std::to_string(held) + "\r\n").expect(second.pasv_reply());
        if (c.second.size() == 4)
            server.expect("350 restarting\r\n");
        server.expect("150 here\r\n226 done\r\n");
        logged_session session;
        ASSERT_EQ(start_and_log_in(session, server), 0);

        transfer_request request = transfer_request::make(0, qxval(folder.file("f")), qxval("f"), 0);
        EXPECT_NE(session.transfer_file(request).result.status, 0);
        ASSERT_TRUE(first.wait_done());
        EXPECT_EQ(first.received(), content.substr(0, held));
        const std::size_t before = server.lines().size();
        request.resume = true;
        const transfer_record resumed = session.transfer_file(request);
        EXPECT_EQ(resumed.result.status, 0);
        EXPECT_EQ(resumed.resumed_from, int64_t(held));
        EXPECT_EQ(resumed.bytes, int64_t(content.size()));
        ASSERT_TRUE(second.wait_done());
        EXPECT_EQ(second.received(), content.substr(held));
        const lines sent = server.lines();
        EXPECT_EQ(lines(sent.begin() + std::min(before, sent.size()), sent.end()), c.second);
    }
}

}  // namespace
}  // namespace qvtf::test
