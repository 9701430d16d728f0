// A sound file opened for playback: decoded as it plays, mapped to stereo and
// converted to the output's rate by linear interpolation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag; // the decoder library's file handle

namespace klt::audio {

class FileStream {
public:
    // Null on failure, with `error` set to BASS_ERROR_FILEOPEN (missing or
    // unreadable) or BASS_ERROR_FILEFORM (not a sound file it can decode).
    static std::unique_ptr<FileStream> Open(const std::string &path, int &error);
    ~FileStream();
    FileStream(const FileStream &) = delete;
    FileStream &operator=(const FileStream &) = delete;

    int Rate() const { return rate_; }
    int Channels() const { return channels_; }
    // Length as 16-bit samples in the file's own rate and channel count.
    std::uint64_t LengthBytes() const { return frames_ * static_cast<std::uint64_t>(channels_) * 2; }

    void Rewind();
    // Adds the next `frames` stereo frames at `outRate` to `acc`; returns
    // how many it had, fewer once the file is at its end.
    std::size_t MixInto(float *acc, std::size_t frames, int outRate);

private:
    FileStream(std::string path, sf_private_tag *file, int rate, int channels, std::uint64_t frames);
    bool Ensure(std::size_t need);

    std::string path_;
    sf_private_tag *file_;
    int rate_;
    int channels_;
    std::uint64_t frames_;

    std::vector<float> raw_;    // as read, interleaved in the file's channels
    std::vector<float> buffer_; // stereo frames not yet played past
    std::size_t bufferFrames_ = 0;
    std::size_t index_ = 0; // frame of buffer_ at or before the play position
    double fraction_ = 0;   // play position between index_ and index_ + 1
    bool atEnd_ = false;
};

} // namespace klt::audio
