// mklang SOURCE.xml OUTPUT.bin
//
// Enciphers a readable phrase table into the language file the program
// loads, with the program's own key material, and reads the result back so
// that a file the program could not load never reaches the program folder.

#include <cstdio>
#include <cstring>

#include "core/qxfiles.h"
#include "core/qxtext.h"
#include "core/qxval.h"
#include "markup/lang_keys.h"
#include "markup/qxlang.h"

using namespace qvtf;

namespace {

int fail(const char* what, const qxval& file, int32_t status, const qxval& detail)
{
    std::fprintf(stderr, "mklang: %s %s: %s (%d)\n%s", what, file.c_str(), lang_status_text(status),
                 static_cast<int>(status), detail.c_str());
    return 1;
}

// Languages keep their order through save and load when the first is current.
bool same_phrases(qxlang& a, qxlang& b, int32_t& phrases)
{
    phrases = 0;
    if (a.language_count() != b.language_count() || a.width() != b.width())
        return false;
    for (int32_t row = 0; row < a.language_count(); ++row) {
        a.select(row);
        b.select(row);
        for (int32_t n = 0; n < a.width(); ++n) {
            if (a.text(n) != b.text(n))
                return false;
            if (a.phrase(n))
                ++phrases;
        }
    }
    a.select(0);
    b.select(0);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: mklang SOURCE.xml OUTPUT.bin\n");
        return argc == 2 ? 0 : 2;
    }
    const qxval source(argv[1]);
    const qxval output(argv[2]);

    qxlang table;
    table.set_keys(program_lang_keys());
    qxval error;
    int32_t status = table.load_plain(source, error);
    if (status != lang_ok)
        return fail("cannot read", source, status, error);

    // Write beside the target and rename, so a failed run leaves the old file.
    qxval temp(output);
    append_cstr(temp, ".tmp");
    if (!table.save(temp)) {
        std::fprintf(stderr, "mklang: cannot write %s\n", temp.c_str());
        delete_file(temp);
        return 1;
    }

    qxlang check;
    check.set_keys(program_lang_keys());
    status = check.load(temp, error);
    int32_t phrases = 0;
    if (status != lang_ok || !same_phrases(table, check, phrases)) {
        delete_file(temp);
        if (status == lang_ok)
            status = -1;
        return fail("cannot read back", temp, status, error);
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        std::fprintf(stderr, "mklang: cannot rename %s to %s\n", temp.c_str(), output.c_str());
        delete_file(temp);
        return 1;
    }
    std::printf("mklang: %d phrases in %d language(s) written to %s\n", static_cast<int>(phrases),
                static_cast<int>(check.language_count()), output.c_str());
    return 0;
}
