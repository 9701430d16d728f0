// The station's PNG pictures, drawn at build time (draw_pictures.cpp).
#pragma once

extern const unsigned char kMicrophonePng[];
extern const unsigned long kMicrophonePngSize;
extern const unsigned char kSpeakerPng[];
extern const unsigned long kSpeakerPngSize;
