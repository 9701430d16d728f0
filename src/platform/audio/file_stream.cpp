#include "platform/audio/file_stream.h"

#include <cmath>
#include <cstring>

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/audio/bass.h"

namespace klt::audio {

namespace {
constexpr std::size_t kChunkFrames = 4096;
}

FileStream::FileStream(std::string path, SNDFILE *file, int rate, int channels, std::uint64_t frames)
    : path_(std::move(path)), file_(file), rate_(rate), channels_(channels), frames_(frames),
      raw_(kChunkFrames * static_cast<std::size_t>(channels)), buffer_(kChunkFrames * 2) {}

FileStream::~FileStream() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

std::unique_ptr<FileStream> FileStream::Open(const std::string &path, int &error) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(path.c_str(), R_OK) != 0) {
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0) {
        sf_close(file);
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    // The mixer takes a 16-bit sample v as v / 32768 and turns it back
    // exactly; that holds only with normalised reading.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return std::unique_ptr<FileStream>(new FileStream(path, file, info.samplerate, info.channels,
                                                      static_cast<std::uint64_t>(info.frames)));
}

void FileStream::Rewind() {
    if (sf_seek(file_, 0, SEEK_SET) != 0) {
        // Not every decoder seeks; reopening always gets back to the start.
        SF_INFO info;
        std::memset(&info, 0, sizeof info);
        SNDFILE *again = sf_open(path_.c_str(), SFM_READ, &info);
        if (again != nullptr && info.channels == channels_) {
            sf_close(file_);
            file_ = again;
            sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        } else if (again != nullptr) {
            sf_close(again);
        }
    }
    bufferFrames_ = 0;
    index_ = 0;
    fraction_ = 0;
    atEnd_ = false;
}

bool FileStream::Ensure(std::size_t need) {
    while (index_ + need > bufferFrames_) {
        if (atEnd_) {
            return false;
        }
        if (index_ >= bufferFrames_) {
            index_ -= bufferFrames_; // frames to skip in what comes next
            bufferFrames_ = 0;
        } else if (index_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + 2 * index_,
                         (bufferFrames_ - index_) * 2 * sizeof(float));
            bufferFrames_ -= index_;
            index_ = 0;
        }
        std::size_t room = kChunkFrames - bufferFrames_;
        sf_count_t got = sf_readf_float(file_, raw_.data(), static_cast<sf_count_t>(room));
        if (got <= 0) {
            atEnd_ = true;
            return false;
        }
        float *out = buffer_.data() + 2 * bufferFrames_;
        const float *in = raw_.data();
        for (sf_count_t i = 0; i < got; ++i, in += channels_, out += 2) {
            out[0] = in[0];
            out[1] = channels_ > 1 ? in[1] : in[0];
        }
        bufferFrames_ += static_cast<std::size_t>(got);
    }
    return true;
}

std::size_t FileStream::MixInto(float *acc, std::size_t frames, int outRate) {
    const double step = static_cast<double>(rate_) / outRate;
    for (std::size_t k = 0; k < frames; ++k) {
        if (!Ensure(1)) {
            return k;
        }
        const float *a = buffer_.data() + 2 * index_;
        float left = a[0];
        float right = a[1];
        if (fraction_ > 0 && Ensure(2)) {
            a = buffer_.data() + 2 * index_; // Ensure may have moved the buffer
            const float f = static_cast<float>(fraction_);
            left += (a[2] - a[0]) * f;
            right += (a[3] - a[1]) * f;
        }
        acc[2 * k] += left;
        acc[2 * k + 1] += right;
        fraction_ += step;
        double whole = std::floor(fraction_);
        fraction_ -= whole;
        index_ += static_cast<std::size_t>(whole);
    }
    return frames;
}

} // namespace klt::audio
