#include "fake_audio.h"

#include <string>

using station::testing::FakeAudio;

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
  return A().nextStream++;
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
  return handle != 0 ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
}
QWORD BASS_ChannelGetLength(DWORD handle, DWORD) {
  Log("ChannelGetLength " + std::to_string(handle));
  return 44100 * 4;
}
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  Log("ChannelBytes2Seconds " + std::to_string(handle));
  return double(pos) / (44100.0 * 4);
}
HENCODE BASS_Encode_Start(DWORD handle, const char *cmdline, DWORD flags, ENCODENOTIFYPROC proc, void *user) {
  Log("Encode_Start " + std::to_string(handle) + " " + std::to_string(flags) + (proc ? " proc" : " noproc") +
      (user ? " user" : " nouser"));
  A().lastCommandLine = cmdline;
  if (!A().encoderStarts) return Fail();
  A().encoderActive = true;
  return 900;
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
