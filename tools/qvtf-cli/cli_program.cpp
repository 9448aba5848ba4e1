#include "tools/qvtf-cli/cli_program.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "net/transport_status.h"
#include "tools/qvtf-cli/cli_session.h"
#include "tools/qvtf-cli/cli_site.h"

namespace qvtf::cli {

bool read_whole_file(const std::string& path, std::string& bytes, std::string& reason)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = system_error_text(errno);
        return false;
    }
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            reason = system_error_text(errno);
            ::close(fd);
            return false;
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

std::string file_failure_reason(const std::string& path, const std::string& fallback)
{
    // Reading one byte tells a missing or unreadable file (and a folder)
    // from one whose content is wrong.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return system_error_text(errno);
    char byte;
    const ssize_t n = ::read(fd, &byte, 1);
    const int error = errno;
    ::close(fd);
    return n < 0 ? system_error_text(error) : fallback;
}

bool load_phrases(const program_folders& folders, qxlang& language, std::FILE* err)
{
    qxval error("");
    const std::string phrases = folders.shipped_file("qorx.bin");
    const int32_t status = language.load(qxval(phrases), error);
    if (status == lang_ok)
        return true;
    std::string reason = lang_status_text(status);
    if (status == lang_xml_error)
        reason += " " + error.str();
    std::fprintf(err, "qvtf-cli: cannot load %s: %s\n", phrases.c_str(), file_failure_reason(phrases, reason).c_str());
    return false;
}

int run_program(const options& opts, std::FILE* out, std::FILE* err)
{
    const program_folders folders = find_program_folders(opts.home);
    if (opts.commands.size() == 1 && opts.commands[0].size() == 1 && opts.commands[0][0] == "sites") {
        qxlang language;
        if (!load_phrases(folders, language, err))
            return 1;
        return print_sites(folders.user, language, out, err);
    }
    cli_session session(opts, out, err);
    if (!session.load_program_files(folders))
        return 1;
    return session.run_all();
}

}  // namespace qvtf::cli
