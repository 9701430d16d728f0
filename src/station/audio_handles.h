// Program-wide audio handles (0 means none). They are used on the window
// thread only; the recording callback never touches them.
#pragma once

#include "../platform/audio/bass.h"

namespace station {

inline HRECORD RecChannel = 0;       // the recording now running
inline HSTREAM RecPlayStream = 0;    // playback of the last finished recording
inline HSTREAM TestWavStream = 0;    // hardware check's test sound
inline HSTREAM Prepare1Stream = 0;   // listening-task preparation audio
inline HSTREAM Task1Stream = 0;      // listening-task audio
inline HSTREAM AnswerPlayStream = 0; // review's playback

}  // namespace station
