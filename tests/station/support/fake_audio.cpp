#include "fake_audio.h"

#include "platform/files/file_door.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

using station::testing::FakeAudio;

namespace {
void Put32(std::string &s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string &s, std::uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
std::uint32_t Get32(const std::string &s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | std::uint8_t(s[at + std::size_t(i)]);
  return v;
}
}  // namespace

namespace station::testing {

FakeAudio &FakeAudio::Get() {
  static FakeAudio audio;
  return audio;
}

bool FakeAudio::Called(const std::string &prefix) const { return IndexOf(prefix) >= 0; }

int FakeAudio::IndexOf(const std::string &prefix) const {
  for (std::size_t i = 0; i < calls.size(); ++i)
    if (calls[i].rfind(prefix, 0) == 0) return int(i);
  return -1;
}


std::string WavBytes(double seconds, int rate, int channels) {
  const auto frames = std::uint32_t(seconds * rate + 0.5);
  const std::uint32_t data = frames * std::uint32_t(channels) * 2;
  std::string s = "RIFF";
  Put32(s, 36 + data);
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, 1);
  Put16(s, std::uint16_t(channels));
  Put32(s, std::uint32_t(rate));
  Put32(s, std::uint32_t(rate * channels * 2));
  Put16(s, std::uint16_t(channels * 2));
  Put16(s, 16);
  s += "data";
  Put32(s, data);
  s.append(data, '\0');
  return s;
}

}  // namespace station::testing

namespace {
FakeAudio &A() { return FakeAudio::Get(); }
void Log(const std::string &s) { A().calls.push_back(s); }
BOOL Fail() {
  A().errorCode = A().failureCode;
  return 0;
}
}  // namespace

extern "C" {
DWORD BASS_GetVersion() {
  Log("GetVersion");
  return A().version;
}
int BASS_ErrorGetCode() { return A().errorCode; }
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *window, const void *) {
  Log("Init " + std::to_string(device) + " " + std::to_string(freq) + " " + std::to_string(flags) +
      (window ? " window" : " nowindow"));
  return A().initOk ? 1 : Fail();
}
BOOL BASS_Free() {
  Log("Free");
  return 1;
}
BOOL BASS_Stop() {
  Log("Stop");
  return 1;
}
BOOL BASS_RecordInit(int device) {
  Log("RecordInit " + std::to_string(device));
  return A().recordInitOk ? 1 : Fail();
}
BOOL BASS_RecordSetDevice(DWORD device) {
  Log("RecordSetDevice " + std::to_string(device));
  return 1;
}
HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC proc, void *user) {
  Log("RecordStart " + std::to_string(freq) + " " + std::to_string(chans) + " " + std::to_string(flags) +
      (proc ? " proc" : " noproc") + (user ? " user" : " nouser"));
  if (A().nextRecordHandle == 0) return Fail();
  return A().nextRecordHandle;
}
BOOL BASS_RecordFree() {
  Log("RecordFree");
  return 1;
}
HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags) {
  const std::string path = static_cast<const char *>(file);
  Log("StreamCreateFile " + std::to_string(mem) + " " + path + " " + std::to_string(offset) + " " +
      std::to_string(length) + " " + std::to_string(flags));
  A().openedFiles.push_back(path);
  if (A().nextStream == 0) return Fail();
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  if (!in || !std::filesystem::is_regular_file(path, ec)) {
    A().errorCode = BASS_ERROR_FILEOPEN;
    return 0;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  // The canonical layout only: RIFF, WAVE, a 16-byte PCM "fmt " and "data".
  const bool wav = bytes.size() >= 44 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 8, "WAVEfmt ") == 0 &&
                   bytes.compare(36, 4, "data") == 0 && (Get32(bytes, 20) & 0xFFFF) == 1 &&
                   (Get32(bytes, 32) >> 16) == 16;
  const int channels = wav ? int(Get32(bytes, 20) >> 16) : 0;
  const int rate = wav ? int(Get32(bytes, 24)) : 0;
  if (!wav || channels == 0 || rate == 0) {
    A().errorCode = BASS_ERROR_FILEFORM;
    return 0;
  }
  const QWORD present = std::min<QWORD>(Get32(bytes, 40), bytes.size() - 44);
  const HSTREAM handle = A().nextStream++;
  A().streams[handle] = {rate, channels, present - present % QWORD(channels * 2)};
  return handle;
}
BOOL BASS_StreamFree(HSTREAM handle) {
  Log("StreamFree " + std::to_string(handle));
  return 1;
}
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  Log("ChannelPlay " + std::to_string(handle) + " " + std::to_string(restart));
  return handle != 0;
}
BOOL BASS_ChannelStop(DWORD handle) {
  Log("ChannelStop " + std::to_string(handle));
  if (handle != 0 && handle == A().nextRecordHandle && A().encoderActive) A().encoderStopping = true;
  return handle != 0;
}
DWORD BASS_ChannelIsActive(DWORD handle) {
  Log("ChannelIsActive " + std::to_string(handle));
  if (handle != 0 && handle == A().nextRecordHandle && A().channelEnded) return BASS_ACTIVE_STOPPED;
  return handle != 0 ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
}
QWORD BASS_ChannelGetLength(DWORD handle, DWORD) {
  Log("ChannelGetLength " + std::to_string(handle));
  const auto it = A().streams.find(handle);
  if (it == A().streams.end()) {
    A().errorCode = BASS_ERROR_HANDLE;
    return ~QWORD{0};
  }
  return it->second.bytes;
}
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  Log("ChannelBytes2Seconds " + std::to_string(handle));
  const auto it = A().streams.find(handle);
  if (it == A().streams.end()) {
    A().errorCode = BASS_ERROR_HANDLE;
    return -1;
  }
  return double(pos) / (2.0 * it->second.rate * it->second.channels);
}
HENCODE BASS_Encode_StartArgv(DWORD handle, const char *const *argv, DWORD flags, ENCODENOTIFYPROC proc,
                              void *user) {
  Log("Encode_Start " + std::to_string(handle) + " " + std::to_string(flags) + (proc ? " proc" : " noproc") +
      (user ? " user" : " nouser"));
  A().lastArguments.clear();
  for (const char *const *a = argv; *a; ++a) A().lastArguments.emplace_back(*a);
  if (!A().encoderStarts) return Fail();
  const auto &args = A().lastArguments;
  for (std::size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] != "-o") continue;
    // The file is made as the real layer makes it: never through a link.
    const klt::files::Opened out = klt::files::CreateOwn(args[i + 1]);
    if (!out.fd) {
      A().errorCode = BASS_ERROR_FILEOPEN;
      return 0;
    }
    if (A().encoderWrites) {
      const std::string wav = station::testing::WavBytes(1.0);
      if (klt::files::WriteAll(out.fd.Get(), wav.data(), wav.size(), args[i + 1])) A().errorCode = BASS_ERROR_FILEOPEN;
    }
  }
  A().encoderActive = true;
  return 900;
}
HENCODE BASS_Encode_Start(DWORD handle, const char *cmdline, DWORD flags, ENCODENOTIFYPROC proc, void *user) {
  // The station passes its arguments as a vector; a command line would be
  // split at its blanks.
  std::vector<std::string> words;
  std::string word;
  for (const char *c = cmdline; *c; ++c) {
    if (*c != ' ') {
      word += *c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  std::vector<const char *> argv;
  for (const auto &w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);
  return BASS_Encode_StartArgv(handle, argv.data(), flags, proc, user);
}
DWORD BASS_Encode_IsActive(DWORD) {
  Log("Encode_IsActive");
  if (A().encoderStopping) {
    if (A().encoderPollsAfterStop != 0) {
      if (A().encoderPollsAfterStop > 0) --A().encoderPollsAfterStop;
      return 1;
    }
    A().encoderActive = false;
    A().encoderStopping = false;
  }
  return A().encoderActive ? 1 : 0;
}
}
