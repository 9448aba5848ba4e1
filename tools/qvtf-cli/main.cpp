#include <cstdio>
#include <string>

#include "core/own_temporaries.h"
#include "tools/qvtf-cli/cli_options.h"
#include "tools/qvtf-cli/cli_program.h"

int main(int argc, char** argv)
{
    qvtf::cli::options opts;
    std::string error;
    if (!qvtf::cli::parse(argc - 1, argv + 1, opts, error)) {
        std::fprintf(stderr, "qvtf-cli: %s\n", error.c_str());
        qvtf::cli::print_usage_line(stderr);
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
    // An interrupted download leaves no temporary file behind.
    qvtf::remove_own_temporaries_on_signals();
    return qvtf::cli::run_program(opts);
}
