#include <cstdio>
#include <cstring>

namespace {

void usage(FILE* out)
{
    std::fputs("usage: qvtf-cli [options] COMMAND [ARGS]\n"
               "       qvtf-cli --help\n", out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        usage(stdout);
        return argc < 2 ? 1 : 0;
    }
    usage(stderr);
    return 1;
}
