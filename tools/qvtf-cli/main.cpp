#include "tools/qvtf-cli/cli_options.h"
#include "tools/qvtf-cli/cli_session.h"

#include <unistd.h>
#include <climits>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    qvtf::cli::options opts;
    std::string error;
    if (!qvtf::cli::parse(argc - 1, argv + 1, opts, error)) {
        std::fprintf(stderr, "qvtf-cli: %s\n", error.c_str());
        qvtf::cli::print_usage(stderr);
        return 2;
    }
    if (opts.help) {
        qvtf::cli::print_usage(stdout);
        return 0;
    }
    if (opts.commands.empty()) {
        qvtf::cli::print_usage(stderr);
        return 2;
    }
    std::string folder = opts.home;
    if (folder.empty()) {
        char self[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        folder = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
        folder = folder.substr(0, folder.find_last_of('/'));
    }
    qvtf::cli::cli_session session(opts);
    if (!session.load_program_files(folder))
        return 1;
    return session.run_all();
}
