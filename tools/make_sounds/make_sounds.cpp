// make_sounds: writes the program's event sounds, soft sine chimes, as 16-bit
// PCM mono wave files. Built and run by the build, so no binary sound files
// live in the sources.
//
//   make_sounds FOLDER      writes FOLDER/connect.wav, disconnect.wav, transfer.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int sample_rate = 44100;
constexpr double pi = 3.14159265358979323846;

// One struck note: a quick attack, then an exponential decay. A little of the
// second and third partials makes it a bell rather than a beep.
struct note {
    double start;      // seconds
    double frequency;  // Hz
    double length;     // seconds until silent
    double level;      // peak, 0..1
};

std::vector<double> render(const std::vector<note>& notes)
{
    double end = 0;
    for (const note& n : notes)
        end = std::max(end, n.start + n.length);
    std::vector<double> out(static_cast<std::size_t>(end * sample_rate) + 1, 0.0);
    for (const note& n : notes) {
        const auto first = static_cast<std::size_t>(n.start * sample_rate);
        const auto count = static_cast<std::size_t>(n.length * sample_rate);
        const double attack = 0.006;
        for (std::size_t i = 0; i < count && first + i < out.size(); ++i) {
            const double t = static_cast<double>(i) / sample_rate;
            double envelope = t < attack ? t / attack : std::exp(-(t - attack) * 5.0 / n.length);
            // Fade the tail to zero so the note never ends in a click.
            const double left = n.length - t;
            if (left < 0.02)
                envelope *= left / 0.02;
            const double w = 2 * pi * n.frequency * t;
            const double tone =
                std::sin(w) + 0.25 * std::sin(2 * w) * std::exp(-t * 6) + 0.08 * std::sin(3 * w) * std::exp(-t * 10);
            out[first + i] += n.level * envelope * tone / 1.33;
        }
    }
    return out;
}

void put16(std::FILE* f, uint16_t v)
{
    const unsigned char b[2] = {static_cast<unsigned char>(v & 0xff), static_cast<unsigned char>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

void put32(std::FILE* f, uint32_t v)
{
    put16(f, static_cast<uint16_t>(v & 0xffff));
    put16(f, static_cast<uint16_t>(v >> 16));
}

bool write_wave(const std::string& path, const std::vector<double>& samples)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const auto data_bytes = static_cast<uint32_t>(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + data_bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);  // format chunk size
    put16(f, 1);   // PCM
    put16(f, 1);   // mono
    put32(f, sample_rate);
    put32(f, sample_rate * 2);  // bytes per second
    put16(f, 2);                // block align
    put16(f, 16);               // bits per sample
    std::fwrite("data", 1, 4, f);
    put32(f, data_bytes);
    for (double s : samples) {
        const double clipped = std::max(-1.0, std::min(1.0, s));
        put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(clipped * 32767))));
    }
    const bool ok = std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sounds FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    // C5, E5, G5, C6.
    const double c5 = 523.25, e5 = 659.26, g5 = 783.99, c6 = 1046.50;
    struct sound {
        const char* name;
        std::vector<note> notes;
    };
    const sound sounds[] = {
        {"connect.wav", {{0.0, c5, 0.45, 0.30}, {0.11, g5, 0.55, 0.28}}},
        {"disconnect.wav", {{0.0, g5, 0.45, 0.28}, {0.13, c5, 0.60, 0.30}}},
        {"transfer.wav",
         {{0.0, c5, 0.50, 0.24}, {0.09, e5, 0.50, 0.24}, {0.18, g5, 0.55, 0.24}, {0.27, c6, 0.80, 0.22}}},
    };
    for (const sound& s : sounds) {
        if (!write_wave(folder + s.name, render(s.notes))) {
            std::fprintf(stderr, "make_sounds: can't write %s%s\n", folder.c_str(), s.name);
            return 1;
        }
    }
    return 0;
}
