#pragma once
// The whole of qvtf-cli after the command line has been parsed, so tests can
// run it in-process: "sites", or a session.
#include <cstdio>
#include <string>

#include "markup/qxlang.h"
#include "settings/program_folders.h"
#include "tools/qvtf-cli/cli_options.h"

namespace qvtf::cli {

// Why a program file cannot be used: the system's reason when it cannot be
// opened or read (e.g. "No such file or directory"), else fallback.
std::string file_failure_reason(const std::string& path, const std::string& fallback);

// The whole of a file into bytes; false with the system's reason.
bool read_whole_file(const std::string& path, std::string& bytes, std::string& reason);

// Loads the shipped qorx.bin into language; false with a message on err.
bool load_phrases(const program_folders& folders, qxlang& language, std::FILE* err);

// Runs the commands of opts; the process exit code (0, 1 on failure).
int run_program(const options& opts, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace qvtf::cli
