// Writes the program's three sounds as 16-bit mono PCM WAV files into the folder named on the
// command line. The tones are computed, so the repository holds no audio binaries.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

struct Note {
    double frequency;
    double seconds;
    double loudness;
};

// A note with a short attack and an exponential fall, with a little of its octave for warmth.
void addNote(std::vector<double>& samples, const Note& note, double brightness) {
    const auto count = static_cast<size_t>(note.seconds * kRate);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double attack = std::min(1.0, t / 0.008);
        const double release = std::min(1.0, (note.seconds - t) / 0.02);
        const double envelope = attack * release * std::exp(-t * 5.0);
        const double phase = 2.0 * kPi * note.frequency * t;
        const double tone = std::sin(phase) + brightness * std::sin(2.0 * phase) +
                            brightness * 0.5 * std::sin(3.0 * phase);
        samples.push_back(note.loudness * envelope * tone / (1.0 + 1.5 * brightness));
    }
}

void put16(std::FILE* file, uint16_t value) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(value & 0xff),
                                    static_cast<unsigned char>(value >> 8)};
    std::fwrite(bytes, 1, 2, file);
}

void put32(std::FILE* file, uint32_t value) {
    put16(file, static_cast<uint16_t>(value & 0xffff));
    put16(file, static_cast<uint16_t>(value >> 16));
}

bool writeWave(const std::string& path, const std::vector<double>& samples) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, file);
    put32(file, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put32(file, 16);
    put16(file, 1); // PCM
    put16(file, 1); // mono
    put32(file, kRate);
    put32(file, kRate * 2);
    put16(file, 2);
    put16(file, 16);
    std::fwrite("data", 1, 4, file);
    put32(file, dataBytes);
    for (const double sample : samples) {
        const double clipped = std::fmax(-1.0, std::fmin(1.0, sample));
        put16(file, static_cast<uint16_t>(static_cast<int16_t>(std::lround(clipped * 32000.0))));
    }
    return std::fclose(file) == 0;
}

std::vector<double> melody(const std::vector<Note>& notes, double brightness) {
    std::vector<double> samples;
    for (const Note& note : notes) {
        addNote(samples, note, brightness);
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    // Success rises, an error falls, attention is a single bright chime.
    const bool ok =
        writeWave(
            folder + "success.wav",
            melody({{659.25, 0.11, 0.55}, {783.99, 0.11, 0.55}, {1046.5, 0.30, 0.6}}, 0.15)) &&
        writeWave(folder + "error.wav", melody({{392.0, 0.16, 0.6}, {261.63, 0.36, 0.65}}, 0.6)) &&
        writeWave(folder + "attention.wav", melody({{880.0, 0.35, 0.6}}, 0.25));
    if (!ok) {
        std::fprintf(stderr, "cannot write the sounds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
