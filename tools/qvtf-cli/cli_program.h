#pragma once
// The whole of qvtf-cli after the command line has been parsed, so tests can
// run it in-process: the program folder, "sites", or a session.
#include <cstdio>
#include <string>

#include "tools/qvtf-cli/cli_options.h"

namespace qvtf::cli {

// --home, or the folder of the running executable.
std::string program_folder(const options& opts);

// Runs the commands of opts; the process exit code (0, 1 on failure).
int run_program(const options& opts, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace qvtf::cli
