// The audio calls the station makes: device set-up, recording into an encoder
// child process, playback of sound files and their lengths. Handles are
// 32-bit numbers, 0 meaning none; a failed call records an error code that
// BASS_ErrorGetCode gives back on the same thread (successful calls leave it).
#pragma once

#include <cstdint>

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;
using HRECORD = DWORD;
using HSTREAM = DWORD;
using HCHANNEL = DWORD;
using HENCODE = DWORD;

// Called on the layer's recording thread for each block of 16-bit samples;
// returning false ends the recording.
using RECORDPROC = BOOL (*)(HRECORD handle, const void *buffer, DWORD length, void *user);
// Encoder notification; the station never passes one.
using ENCODENOTIFYPROC = void (*)(HENCODE handle, DWORD status, void *user);

// Creates a recording channel paused; BASS_ChannelPlay starts it.
constexpr DWORD BASS_RECORD_PAUSE = 0x8000;
// The encoder is released together with its channel.
constexpr DWORD BASS_ENCODE_AUTOFREE = 0x40000;
constexpr DWORD BASS_POS_BYTE = 0;

// BASS_ChannelIsActive results.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Device numbers: -1 and 1 name the system's default device, 2 and up the
// system's devices in the order it lists them.

// BASS_ErrorGetCode results. The numbers are part of the interface: keep them.
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_INIT = 1;       // the device was not initialised
constexpr int BASS_ERROR_ALREADY = 2;    // the device is already initialised
constexpr int BASS_ERROR_DEVICE = 3;     // no device with that number
constexpr int BASS_ERROR_DRIVER = 4;     // the device could not be opened
constexpr int BASS_ERROR_HANDLE = 5;     // no channel, stream or encoder with that handle
constexpr int BASS_ERROR_ILLPARAM = 6;   // an argument or flag is not accepted
constexpr int BASS_ERROR_FILEOPEN = 7;   // the file cannot be opened
constexpr int BASS_ERROR_FILEFORM = 8;   // the file's content cannot be decoded
constexpr int BASS_ERROR_NOTAVAIL = 9;   // the operation does not apply to that handle
constexpr int BASS_ERROR_ENDED = 10;     // the channel has already ended
constexpr int BASS_ERROR_NOENCODER = 11; // the encoder program was not found
constexpr int BASS_ERROR_CREATE = 12;    // the encoder process could not be started
constexpr int BASS_ERROR_UNKNOWN = -1;

extern "C" {
DWORD BASS_GetVersion();
int BASS_ErrorGetCode();

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *window, const void *clsid);
BOOL BASS_Free();
BOOL BASS_Stop();

BOOL BASS_RecordInit(int device);
BOOL BASS_RecordSetDevice(DWORD device);
HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC proc, void *user);
BOOL BASS_RecordFree();

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelStop(DWORD handle);
DWORD BASS_ChannelIsActive(DWORD handle);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);

HENCODE BASS_Encode_Start(DWORD handle, const char *cmdline, DWORD flags, ENCODENOTIFYPROC proc, void *user);
// The same with the encoder's arguments as they are to reach it: `argv` is a
// null-terminated array whose first entry names the program; no entry is
// split or unquoted, so a path holding blanks, quotes or any other letters
// stays one argument. The file after a "-o" argument must be creatable:
// BASS_ERROR_FILEOPEN when it is not, before any process starts; a link, a
// folder or a special file at its name is never written through. The encoder
// gets that file already open, named "/dev/fd/3" in its arguments.
HENCODE BASS_Encode_StartArgv(DWORD handle, const char *const *argv, DWORD flags, ENCODENOTIFYPROC proc,
                              void *user);
// For a recording channel: non-zero while one of its encoders runs, and also
// after the channel was stopped while an encoder is still finishing its file.
DWORD BASS_Encode_IsActive(DWORD handle);
}
