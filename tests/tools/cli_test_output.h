// Running qvtf-cli in-process against a test server, and reading back what
// it wrote to its temporary out and err files.
#pragma once

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tools/qvtf-cli/cli_session.h"

namespace qvtf::test {

inline std::string slurp(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

struct cli_run {
    int code = -1;
    std::string out, err;
};

// Options that log in to a server on loopback.
inline cli::options login_options(int port, const std::string& user, const std::string& password)
{
    cli::options o;
    o.host = "127.0.0.1";
    o.port = port;
    o.user = user;
    o.password = password;
    o.timeout = 10;
    o.encryption = "none";  // TLS has tests of its own
    return o;
}

// Runs o's commands with the program files from the build, and the user's
// files from user_folder (ends in "/").
inline cli_run run_cli(const cli::options& o, const std::string& user_folder = QVTF_PROGRAM_DIR "/")
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    cli_run r;
    {
        cli::cli_session s(o, out, err);
        if (s.load_program_files({QVTF_PROGRAM_DIR "/", user_folder}))
            r.code = s.run_all();
    }
    r.out = slurp(out);
    r.err = slurp(err);
    std::fclose(out);
    std::fclose(err);
    return r;
}

}  // namespace qvtf::test
