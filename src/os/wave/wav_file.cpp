// RIFF WAVE reading with every field checked against the bytes at hand, and writing.
#include "os/wave/wav_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace os {

namespace {

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
bool Tag(std::span<const std::uint8_t> b, std::size_t at, const char* tag) {
    return std::memcmp(b.data() + at, tag, 4) == 0;
}
[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("WAV: " + what);
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}
void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

WavAudio ReadWav(std::span<const std::uint8_t> b) {
    if (b.size() < 12) Fail("file of " + std::to_string(b.size()) + " bytes is too short");
    if (!Tag(b, 0, "RIFF") || !Tag(b, 8, "WAVE")) Fail("not a RIFF WAVE file");
    WavAudio out;
    bool have_fmt = false;
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::uint32_t size = U32(b, at + 4);
        const std::size_t body = at + 8;
        const std::size_t left = b.size() - body;
        if (Tag(b, at, "fmt ")) {
            if (size < 16) Fail("fmt chunk of " + std::to_string(size) + " bytes, need 16");
            if (size > left) Fail("fmt chunk runs past the end of the file");
            std::uint16_t tag = U16(b, body);
            if (tag == 0xFFFE) {
                // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes are the tag.
                if (size < 40) Fail("extensible fmt chunk of " + std::to_string(size) + " bytes");
                tag = U16(b, body + 24);
            }
            if (tag != 1) Fail("format tag " + std::to_string(tag) + " is not PCM");
            out.channels = U16(b, body + 2);
            out.rate = U32(b, body + 4);
            const std::uint16_t align = U16(b, body + 12);
            out.bits = U16(b, body + 14);
            if (out.channels == 0 || out.channels > 8)
                Fail(std::to_string(out.channels) + " channels");
            if (out.bits != 8 && out.bits != 16)
                Fail(std::to_string(out.bits) + " bits per sample, need 8 or 16");
            if (out.rate == 0) Fail("sample rate 0");
            if (align != out.channels * out.bits / 8)
                Fail("block align " + std::to_string(align) + " does not fit " +
                     std::to_string(out.channels) + " channels of " + std::to_string(out.bits) +
                     " bits");
            have_fmt = true;
        } else if (Tag(b, at, "data")) {
            if (!have_fmt) Fail("data chunk before the fmt chunk");
            // Writers that stream leave the size open; take what the file holds then.
            std::size_t n = size == 0xFFFFFFFF ? left : size;
            if (n > left)
                Fail("data chunk of " + std::to_string(n) + " bytes beyond file size " +
                     std::to_string(b.size()));
            const std::size_t width = out.bits / 8;
            n -= n % (width * out.channels);
            out.samples.reserve(n / width);
            for (std::size_t i = 0; i < n; i += width) {
                if (width == 2)
                    out.samples.push_back(static_cast<std::int16_t>(U16(b, body + i)));
                else
                    out.samples.push_back(static_cast<std::int16_t>((b[body + i] - 128) * 256));
            }
            return out;
        }
        if (size > left) Fail("chunk runs past the end of the file");
        at = body + size + (size & 1);
    }
    Fail(have_fmt ? "no data chunk" : "no fmt chunk");
}

WavAudio ReadWavFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot open " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    return ReadWav(bytes);
}

std::vector<std::uint8_t> MakeWav(std::uint32_t rate, std::uint16_t channels,
                                  std::span<const std::int16_t> samples) {
    const auto data_size = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<std::uint8_t> out;
    out.reserve(44 + data_size);
    PutTag(out, "RIFF");
    Put32(out, 36 + data_size);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, channels);
    Put32(out, rate);
    Put32(out, rate * channels * 2);
    Put16(out, static_cast<std::uint16_t>(channels * 2));
    Put16(out, 16);
    PutTag(out, "data");
    Put32(out, data_size);
    for (std::int16_t s : samples)
        Put16(out, static_cast<std::uint16_t>(s));
    return out;
}

void WriteWavFile(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                  std::span<const std::int16_t> samples) {
    const auto bytes = MakeWav(rate, channels, samples);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("WAV: cannot write " + path);
}

void WriteWavFileAtomically(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                            std::span<const std::int16_t> samples) {
    const auto bytes = MakeWav(rate, channels, samples);
    const auto fail = [&path](int error) {
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    };
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) fail(errno);
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size() && !error) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (!error && ::fsync(fd) != 0) error = errno;
    // mkstemp makes it private; a saved take is an ordinary file.
    if (!error) ::fchmod(fd, 0644);
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        fail(error);
    }
}

} // namespace os
