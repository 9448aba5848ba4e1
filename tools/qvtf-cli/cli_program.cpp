#include "tools/qvtf-cli/cli_program.h"

#include <unistd.h>

#include <climits>

#include "tools/qvtf-cli/cli_session.h"
#include "tools/qvtf-cli/cli_site.h"

namespace qvtf::cli {

std::string program_folder(const options& opts)
{
    if (!opts.home.empty())
        return opts.home;
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./qvtf-cli");
    const size_t slash = path.find_last_of('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

int run_program(const options& opts, std::FILE* out, std::FILE* err)
{
    const std::string folder = program_folder(opts);
    if (opts.commands.size() == 1 && opts.commands[0].size() == 1 && opts.commands[0][0] == "sites") {
        qxlang language;
        qxval error;
        const std::string phrases = folder + "/qorx.bin";
        if (language.load(qxval(phrases), error) != lang_ok) {
            std::fprintf(err, "qvtf-cli: cannot load %s: %s\n", phrases.c_str(), error.c_str());
            return 1;
        }
        return print_sites(folder, language, out, err);
    }
    cli_session session(opts, out, err);
    if (!session.load_program_files(folder))
        return 1;
    return session.run_all();
}

}  // namespace qvtf::cli
