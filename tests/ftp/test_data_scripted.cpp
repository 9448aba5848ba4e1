// Data connections against the scripted server, for what real servers do
// not do on demand: DOS listings, refused or garbled PASV, refused
// transfers, a server that never connects, and an abort in the middle of a
// transfer. Failures that must leave the local file alone are in
// test_transfer_failures.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "ftp/ftp_data_connection.h"
#include "ftp_test_session.h"
#include "support/process.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

using namespace std::chrono_literals;

// Greeting, USER, PASS and PWD of a login to "/".
scripted_ftp_server& login_script(scripted_ftp_server& server)
{
    return server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n").expect("257 \"/\"\r\n");
}

// Starts the server on its script and logs the session in to it.
int start_and_log_in(ftp_control& session, scripted_ftp_server& server)
{
    server.start();
    inputs(session).site().host.set_string("127.0.0.1");
    inputs(session).site().port = server.port();
    inputs(session).site().user_name.set_string("u");
    inputs(session).site().password.set_string("p");
    inputs(session).options().timeout = 5;
    inputs(session).options().passive = true;
    inputs(session).options().listing_reader = parser();
    if (int status = session.log_in())
        return status;
    return session.print_folder();
}

const lines login_lines{"USER u", "PASS p", "PWD"};

lines after_login(const scripted_ftp_server& server)
{
    lines all = server.lines();
    return lines(all.begin() + std::min<size_t>(all.size(), login_lines.size()), all.end());
}

// Waits for the client's PORT line and connects there, as a server would.
uint16_t port_of_last_port_line(const scripted_ftp_server& server, std::chrono::milliseconds max = 5000ms)
{
    const auto end = std::chrono::steady_clock::now() + max;
    while (std::chrono::steady_clock::now() < end) {
        lines all = server.lines();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->rfind("PORT ", 0) != 0)
                continue;
            int h1, h2, h3, h4, p1, p2;
            if (std::sscanf(it->c_str(), "PORT %d,%d,%d,%d,%d,%d", &h1, &h2, &h3, &h4, &p1, &p2) == 6)
                return static_cast<uint16_t>(p1 * 256 + p2);
        }
        std::this_thread::sleep_for(10ms);
    }
    return 0;
}

TEST(DataScripted, DosListingOverPasvParsesEveryEntry)
{
    data_peer peer(data_peer::mode::send,
                   "01-02-24  10:15AM       <DIR>          site\r\n"
                   "12-31-23  11:59PM                 1234 index.htm\r\n"
                   "07-04-21  01:00AM                    0 empty.txt\r\n");
    peer.accept_in_background();
    scripted_ftp_server server;
    login_script(server).expect("200 ascii\r\n").expect(peer.pasv_reply()).expect("150 here\r\n226 done\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    inputs(session).options().list_parameters.set_string("-al");

    ASSERT_EQ(session.list_directory(qxval("")), 0);
    EXPECT_EQ(after_login(server), (lines{"TYPE A", "PASV", "LIST -al"}));
    ASSERT_TRUE(session.current_folder());
    std::vector<std::string> names;
    for (qxfile_node* n = session.current_folder()->first_child; n; n = n->next)
        names.push_back(n->name.str() + (n->is_folder ? "/" : "") + ":" + std::to_string(n->size()));
    EXPECT_EQ(names, (std::vector<std::string>{"site/:0", "index.htm:1234", "empty.txt:0"}));
    EXPECT_TRUE(session.listing_styles() & listing_dos);
    EXPECT_EQ(session.data_host().str(), "127.0.0.1");
}

// A listing counts only when its data ended by an orderly close and the
// server confirmed it. A reset or a stall followed by "226" fails, the
// folder keeps the entries of its last good listing, and the cut line never
// becomes an entry. Each row runs with the connection on a worker and on the
// calling thread, where a listing longer than the pipe's budget passes to a
// reader thread half way.
TEST(DataScripted, OnlyACleanlyEndedListingReplacesTheEntries)
{
    std::string nine;
    for (int i = 1; i <= 9; ++i)
        nine += "-rw-r--r-- 1 u g " + std::to_string(i) + " Jan  5  2020 file" + std::to_string(i) + "\r\n";
    const std::string cut = nine.substr(0, 150);
    std::string long_listing;
    for (size_t i = 1; long_listing.size() <= size_t(qxpipe::default_budget) + 65536; ++i)
        long_listing += "-rw-r--r-- 1 u g " + std::to_string(i) + " Jan  5  2020 file" + std::to_string(i) + "\r\n";
    const size_t long_count = static_cast<size_t>(std::count(long_listing.begin(), long_listing.end(), '\n'));
    struct row {
        const char* name;
        data_peer::mode mode;
        std::string bytes;
        const char* final_reply;
        bool ok;
        size_t entries;  // after the listing
        int unparsed;
    } const rows[] = {
        {"reset after 150 bytes, then 226", data_peer::mode::send_then_reset, cut, "226 done\r\n", false, 1, 0},
        {"stall past the time-out, then 226", data_peer::mode::send_then_stall, cut, "226 done\r\n", false, 1, 0},
        {"orderly close but 426", data_peer::mode::send, nine, "426 aborted\r\n", false, 9, 0},
        {"orderly close and 226", data_peer::mode::send, nine, "226 done\r\n", true, 9, 0},
        {"a line that cannot be read is counted", data_peer::mode::send,
         "-rw-r--r-- 1 u g 1 Jan  5  2020 good\r\n?? what is this\r\n", "226 done\r\n", true, 1, 1},
        {"longer than the pipe's budget", data_peer::mode::send, long_listing, "226 done\r\n", true, long_count, 0},
        {"reset past the pipe's budget, then 226", data_peer::mode::send_then_reset, long_listing, "226 done\r\n",
         false, 1, 0},
    };
    for (const bool on_caller : {false, true}) {
        for (const row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + (on_caller ? " on the calling thread" : " on a worker"));
            data_peer first(data_peer::mode::send, "-rw-r--r-- 1 u g 1 Jan  5  2020 before\r\n");
            data_peer second(r.mode, r.bytes);
            first.accept_in_background();
            second.accept_in_background();
            scripted_ftp_server server;
            login_script(server)
                .expect("200 ascii\r\n")
                .expect(first.pasv_reply())
                .expect("150 here\r\n226 done\r\n")
                .expect(second.pasv_reply())
                .expect("150 here\r\n")
                .pause(200ms)
                .send(r.final_reply);
            logged_session session;
            inputs(session).options().inline_limit = on_caller ? 0 : -1;
            ASSERT_EQ(start_and_log_in(session, server), 0);
            inputs(session).options().timeout = 1;
            ASSERT_EQ(session.list_directory(qxval("")), 0);
            const int status = session.list_directory(qxval(""));
            EXPECT_EQ(status == 0, r.ok) << status;
            EXPECT_EQ(session.last_listing().complete, r.ok || r.mode == data_peer::mode::send);
            EXPECT_EQ(session.last_listing().unparsed, r.unparsed);
            ASSERT_TRUE(session.current_folder());
            std::vector<std::string> names;
            for (qxfile_node* n = session.current_folder()->first_child; n; n = n->next)
                names.push_back(n->name.str());
            EXPECT_EQ(names.size(), r.entries);
            if (r.entries == 1 && !r.ok) {
                EXPECT_EQ(names, (std::vector<std::string>{"before"}));
            }
            EXPECT_TRUE(server.completed());
        }
    }
}

// With listing_tries (the command line's --retries) a listing that broke
// off is asked for again; one the server refused is not.
TEST(DataScripted, ListingsThatBreakOffAreTriedAgain)
{
    const std::string six =
        "-rw-r--r-- 1 u g 1 Jan  5  2020 a\r\n-rw-r--r-- 1 u g 1 Jan  5  2020 b\r\n"
        "-rw-r--r-- 1 u g 1 Jan  5  2020 c\r\n-rw-r--r-- 1 u g 1 Jan  5  2020 d\r\n";
    data_peer broken(data_peer::mode::send_then_reset, six.substr(0, 50));
    data_peer whole(data_peer::mode::send, six);
    broken.accept_in_background();
    whole.accept_in_background();
    scripted_ftp_server server;
    login_script(server)
        .expect("200 ascii\r\n")
        .expect(broken.pasv_reply())
        .expect("150 here\r\n")
        .pause(200ms)
        .send("226 done\r\n")
        .expect(whole.pasv_reply())
        .expect("150 here\r\n226 done\r\n")
        .expect("550 no such folder\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    inputs(session).options().listing_tries = 3;
    ASSERT_EQ(session.list_directory(qxval("")), 0);
    size_t entries = 0;
    for (qxfile_node* n = session.current_folder()->first_child; n; n = n->next)
        ++entries;
    EXPECT_EQ(entries, 4u);
    // A refusal is final: one PASV, no second try.
    EXPECT_NE(session.list_directory(qxval("")), 0);
    EXPECT_TRUE(server.completed());
    EXPECT_TRUE(server.extra_lines().empty());
}

TEST(DataScripted, RefusedPasvFallsBackToPortAndStaysActive)
{
    scripted_ftp_server server;
    login_script(server)
        .expect("200 binary\r\n")
        .expect("502 no passive here\r\n")
        .expect("200 port ok\r\n")
        .expect("150 sending\r\n226 sent\r\n")
        .expect("200 port ok\r\n")
        .expect("150 sending\r\n226 sent\r\n");  // the type is already set
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    inputs(session).options().allow_passive_drop_to_port = 1;
    temp_folder local("qvtf-data");

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const size_t ports_before = [&] {
            size_t n = 0;
            for (auto& l : server.lines())
                n += l.rfind("PORT ", 0) == 0;
            return n;
        }();
        data_peer peer(data_peer::mode::send, "payload " + std::to_string(round));
        std::thread server_side([&] {
            // Wait for this round's PORT line, then connect like a server.
            const auto end = std::chrono::steady_clock::now() + 5s;
            while (std::chrono::steady_clock::now() < end) {
                size_t n = 0;
                for (auto& l : server.lines())
                    n += l.rfind("PORT ", 0) == 0;
                if (n > ports_before)
                    break;
                std::this_thread::sleep_for(5ms);
            }
            if (uint16_t p = port_of_last_port_line(server))
                peer.connect_in_background(p);
        });
        const int status = transfer(session, 1, local.file("got"), "f");
        server_side.join();
        ASSERT_EQ(status, 0);
        EXPECT_EQ(read_bytes(local.file("got")), "payload " + std::to_string(round));
        EXPECT_EQ(session.passive(), false);
    }
    lines wire = after_login(server);
    ASSERT_EQ(wire.size(), 6u);
    EXPECT_EQ(wire[0], "TYPE I");
    EXPECT_EQ(wire[1], "PASV");
    EXPECT_EQ(wire[2].rfind("PORT 127,0,0,1,", 0), 0u) << wire[2];
    EXPECT_EQ(wire[3], "RETR f");
    EXPECT_EQ(wire[4].rfind("PORT 127,0,0,1,", 0), 0u)
        << "no second PASV: the session stays active; no second TYPE either: " << wire[4];
    EXPECT_NE(wire[4], wire[2]) << "the next PORT uses a port above the last";
}

// EPSV and EPRT come first on IPv4; a server that does not know them is
// asked once per connection, then PASV and PORT carry on. An FTP firewall
// gets PASV and PORT only. Two downloads a row; the data connections are
// real, played by data peers.
TEST(DataScripted, ExtendedDataCommandsAndTheirFallback)
{
    struct row {
        const char* name;
        bool passive;
        bool refused;
        bool firewall;
        lines wire;  // after the login, address lines cut to their verb
    } const rows[] = {
        {"EPSV", true, false, false, {"TYPE I", "EPSV", "RETR f", "EPSV", "RETR f"}},
        {"EPSV refused", true, true, false, {"TYPE I", "EPSV", "PASV", "RETR f", "PASV", "RETR f"}},
        {"EPRT", false, false, false, {"TYPE I", "EPRT", "RETR f", "EPRT", "RETR f"}},
        {"EPRT refused", false, true, false, {"TYPE I", "EPRT", "PORT", "RETR f", "PORT", "RETR f"}},
        {"firewall, passive", true, false, true, {"TYPE I", "PASV", "RETR f", "PASV", "RETR f"}},
        {"firewall, active", false, false, true, {"TYPE I", "PORT", "RETR f", "PORT", "RETR f"}},
    };
    auto is_address_line = [](const std::string& l) { return l.rfind("PORT ", 0) == 0 || l.rfind("EPRT ", 0) == 0; };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        data_peer peers[2] = {{data_peer::mode::send, "payload 0"}, {data_peer::mode::send, "payload 1"}};
        scripted_ftp_server server;
        login_script(server).expect("200 binary\r\n");
        for (int round = 0; round < 2; ++round) {
            const std::string port = std::to_string(peers[round].port());
            if (round == 0 && r.refused)
                server.expect(r.passive ? "500 EPSV not understood\r\n" : "502 EPRT not implemented\r\n");
            if (r.passive && (r.refused || r.firewall))
                server.expect(peers[round].pasv_reply());
            else if (r.passive)
                server.expect("229 Extended Passive Mode (|||" + port + "|)\r\n");
            else
                server.expect("200 ok\r\n");
            server.expect("150 sending\r\n226 sent\r\n");
            if (r.passive)
                peers[round].accept_in_background();
        }
        logged_session session;
        inputs(session).options().extended_data = true;
        if (r.firewall) {
            ftp_proxy firewall;
            firewall.type = 0;
            firewall.proxy_host.set_string("127.0.0.1");
            firewall.proxy_port = server.port();
            firewall.ftp_command.set_string("USER %username%\r\nPASS %password%");
            inputs(session).site().proxy = firewall;
        }
        ASSERT_EQ(start_and_log_in(session, server), 0);
        if (!r.passive)
            inputs(session).options().passive = false;
        temp_folder local("qvtf-data");
        for (int round = 0; round < 2; ++round) {
            std::thread server_side;
            if (!r.passive) {
                // Connects to the port of this round's address line, as a server would.
                server_side = std::thread([&, round] {
                    const auto end = std::chrono::steady_clock::now() + 5s;
                    while (std::chrono::steady_clock::now() < end) {
                        lines all = server.lines();
                        const auto n = std::count_if(all.begin(), all.end(), is_address_line);
                        if (n > round + (r.refused ? 1 : 0)) {
                            const std::string last = *std::find_if(all.rbegin(), all.rend(), is_address_line);
                            const auto port = last[0] == 'E' ? std::stoi(last.substr(last.rfind('|', last.size() - 2) + 1))
                                                             : port_of_last_port_line(server);
                            peers[round].connect_in_background(static_cast<uint16_t>(port));
                            return;
                        }
                        std::this_thread::sleep_for(5ms);
                    }
                });
            }
            const int status = transfer(session, 1, local.file("got"), "f");
            if (server_side.joinable())
                server_side.join();
            ASSERT_EQ(status, 0) << round;
            EXPECT_EQ(read_bytes(local.file("got")), "payload " + std::to_string(round));
        }
        lines wire = after_login(server);
        for (std::string& l : wire) {
            if (l.rfind("EPRT ", 0) == 0) {
                EXPECT_EQ(l.rfind("EPRT |1|127.0.0.1|", 0), 0u) << l;
            }
            if (is_address_line(l))
                l.resize(4);
        }
        EXPECT_EQ(wire, r.wire);
        EXPECT_TRUE(server.extra_lines().empty());
    }
}

TEST(DataScripted, RefusedPasvWithoutFallbackIs6008)
{
    scripted_ftp_server server;
    login_script(server).expect("200 binary\r\n").expect("502 no\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    temp_folder local("qvtf-data");
    EXPECT_EQ(transfer(session, 1, local.file("x"), "f"), status_pasv_refused);
    EXPECT_EQ(session.passive(), true);
    EXPECT_FALSE(session.data_connection_open());
    EXPECT_FALSE(file_exists(local.file("x"))) << "nothing is left of the local file";
}

TEST(DataScripted, PasvReplyWithOutOfRangePortIs6009AndLeavesNothingOpen)
{
    scripted_ftp_server server;
    login_script(server).expect("200 binary\r\n").expect("227 Entering Passive Mode (127,0,0,1,256,1)\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    temp_folder local("qvtf-data");
    EXPECT_EQ(transfer(session, 1, local.file("x"), "f"), status_bad_pasv_reply);
    EXPECT_FALSE(session.data_connection_open());
    EXPECT_FALSE(file_exists(local.file("x")));
}

TEST(DataScripted, RetrAndStorAnswered550Are6011)
{
    data_peer first(data_peer::mode::silent), second(data_peer::mode::silent);
    first.accept_in_background();
    second.accept_in_background();
    scripted_ftp_server server;
    login_script(server)
        .expect("200 binary\r\n")
        .expect(first.pasv_reply())
        .expect("550 no such file\r\n")
        .expect(second.pasv_reply())
        .expect("550 permission denied\r\n")
        .expect("257 \"/\"\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    temp_folder local("qvtf-data");
    ASSERT_TRUE(write_bytes(local.file("up"), "data"));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transfer(session, 1, local.file("down"), "missing"), status_refused);
    EXPECT_FALSE(file_exists(local.file("down"))) << "a refused download creates no file";
    const transfer_record locked = transfer(session, 0, local.file("up"), "locked");
    EXPECT_EQ(locked, status_refused);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "a refusal does not wait for the data socket";
    qxval text;
    session.error_text(locked.result, text);
    EXPECT_EQ(text.str(), "550 permission denied\r\n");
    EXPECT_EQ(session.print_folder(), 0) << "the session stays usable";
    EXPECT_EQ(after_login(server), (lines{"TYPE I", "PASV", "RETR missing", "PASV", "STOR locked", "PWD"}))
        << "TYPE once for the login";
}

TEST(DataScripted, ServerThatNeverConnectsInActiveMode)
{
    scripted_ftp_server server;
    login_script(server)
        .expect("200 binary\r\n")
        .expect("200 port ok\r\n")
        .expect("150 opening\r\n425 no data connection\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    inputs(session).options().passive = false;
    inputs(session).options().accept_tries = 2;
    temp_folder local("qvtf-data");
    const auto start = std::chrono::steady_clock::now();
    const transfer_record record = transfer(session, 1, local.file("x"), "f");
    EXPECT_EQ(record, status_unexpected_reply);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 5s);
    EXPECT_GE(took, 1500ms) << "two one-second waits for the server";
    EXPECT_EQ(record.failed_side, transfer_side::data);
    EXPECT_EQ(session.reply_code(), 425);
}

TEST(DataScripted, AbortInTheMiddleOfATransferEndsBothSides)
{
    data_peer peer(data_peer::mode::send_slowly);
    peer.accept_in_background();
    scripted_ftp_server server;
    login_script(server).expect("200 binary\r\n").expect(peer.pasv_reply()).expect("150 here\r\n426 aborted\r\n");
    logged_session session;
    ASSERT_EQ(start_and_log_in(session, server), 0);
    temp_folder local("qvtf-data");
    std::thread aborter([&] {
        for (int i = 0; i < 200 && !peer.connected; ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(100ms);  // a few blocks arrive
        session.stop(stop_reason_stop);
    });
    const auto start = std::chrono::steady_clock::now();
    const transfer_record record = transfer(session, 1, local.file("x"), "f");
    aborter.join();
    EXPECT_EQ(record, status_stopped) << "an abort is not the server's failure";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    EXPECT_GT(record.bytes, 0);
    EXPECT_LT(record.bytes, 2000 * 4096);
    EXPECT_FALSE(session.data_connection_open());
    EXPECT_EQ(session.reply_code(), 426) << "the server's answer was read: the connection stays in step";
}

TEST(DataScripted, ConverterTable)
{
    EXPECT_EQ(ftp_converter_index(transfer_binary, 0), -1);
    EXPECT_EQ(ftp_converter_index(transfer_automatic, 0), -1);
    EXPECT_EQ(ftp_converter_index(transfer_ascii, 1), 1) << "ASCII downloads get local line ends";
    EXPECT_EQ(ftp_converter_index(transfer_ascii, 0), 0);
    EXPECT_EQ(ftp_converter_index(transfer_converted | (0 << 16), 1), 0);
    EXPECT_EQ(ftp_converter_index(transfer_converted | (7 << 16), 1), -1) << "no such row";
    EXPECT_EQ(ftp_converter(0).size_tolerance, 1);
    EXPECT_EQ(ftp_converter(1).size_tolerance, 1) << "the wire's CR LF is at least the listed size";
}

}  // namespace
}  // namespace qvtf::test
