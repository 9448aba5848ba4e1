#pragma once
// qvtf-cli's session: connects as the options say and runs the commands on
// one FTP session. Every behaviour is the engine's; this only prints.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ftp/auto_transfer_resolver.h"
#include "ftp/ftp_control.h"
#include "ftp/ftp_proxy.h"
#include "markup/qxlang.h"
#include "tools/qvtf-cli/cli_options.h"

namespace qvtf::cli {

class cli_session {
public:
    explicit cli_session(const options& opts, std::FILE* out = stdout, std::FILE* err = stderr);

    // Phrase file and extension list from the program folder (opts.home, or
    // the executable's folder); false with a message on err.
    bool load_program_files(const std::string& program_folder);
    // Fills the session's connection from the options. The place where site
    // profiles (--home/--site) take over the connection's fields.
    void fill_connection();
    // Connects, logs in, enters the start folder; 0 or a status.
    int connect();
    // Runs one command; 0 or a status (printed with report_failure).
    int run(const std::vector<std::string>& words);
    // Runs every command of the options; the process exit code.
    int run_all();

    void report_failure(int status);
    ftp_control& session() { return session_; }

private:
    int32_t type_for(const std::string& name) const;
    int list(const std::string& path);
    int get(const std::string& remote, const std::string& local);
    int put(const std::string& local, const std::string& remote);
    int remove_recursive(const std::string& path, bool chmod, const std::string& mode);
    static void log_hook(void* user, std::unique_ptr<qxarr> lines, int kind);

    const options& opts_;
    std::FILE* out_;
    std::FILE* err_;
    qxlang lang_;
    auto_transfer_resolver resolver_;
    ftp_proxy proxy_;
    ftp_control session_;
    std::string usage_error_;
};

}  // namespace qvtf::cli
