// A child process owned by a test: started with an argument vector, stopped
// (SIGTERM, then SIGKILL) and reaped when the object goes away.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qvtf::test {

class child_process {
public:
    child_process() = default;
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;
    ~child_process() { stop(); }

    // Starts args[0] (looked up in PATH when it holds no "/") in a process
    // group of its own, so servers that fork workers are stopped as a whole.
    // Standard input is /dev/null; standard output and error go to
    // output_file when it is given, else they are discarded. SIGPIPE is reset
    // to its default in the child even when the test process ignores it.
    bool start(const std::vector<std::string>& args, const std::string& output_file = "");

    // Sends SIGTERM to the group, waits up to grace for the child to end, then
    // SIGKILL. Returns the child's wait status, or -1 when none was running.
    int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

    // True while the child has not been reaped and has not exited.
    bool running();

    pid_t pid() const { return pid_; }

    // The exit status once the child has ended (see running()), -1 before.
    int exit_status() const { return status_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Reads a whole file into a string (empty when it cannot be read); handy for
// showing a server's log when a fixture fails to start it.
std::string read_text_file(const std::string& path);

// A fresh private folder under $TMPDIR (or /tmp), removed with its contents
// when the object goes away.
class temp_folder {
public:
    explicit temp_folder(const std::string& prefix = "qvtf");
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    ~temp_folder();

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes content into name inside the folder; false on failure.
    bool write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

}  // namespace qvtf::test
