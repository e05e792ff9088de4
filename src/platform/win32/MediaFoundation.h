// Decoding the audio beside MP3 and PCM WAVE through Media Foundation (MediaFoundation.cpp).
#pragma once

#include <string>

#include "audio/Content.h"
#include "platform/system/System.h"

namespace win32 {

// The file `path`, which the content check found to be `kind`, through Media Foundation's
// source reader to `sink` as floats. False, with one of sys::kDecode's reasons (or the
// file's own fault when it cannot be opened), when it cannot be decoded.
bool DecodeByMediaFoundation(const std::string& path, audio::Kind kind, const sys::PcmSink& sink,
                             sys::FileError* why);

}  // namespace win32
