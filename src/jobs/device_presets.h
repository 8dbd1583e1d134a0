#pragma once
// The device presets at the end of the output-format list. Each fixes the output suffix (and so
// the container), the frame size and the audio encoding for a family of phones and tablets;
// quality, gain and the sound choice still come from the convert options. Always encoded by
// the encoder tool.

#include "jobs/convert.h"

#include <string>
#include <vector>

namespace trimora {

struct TDevicePreset {
    const char* ItemText;  // the text of the list item after "(Device) "
    const char* Suffix;    // replaces the output extension: "_iPad_HiRes.m4v"
    const char* SizePiece; // " -s 1280x720 "
    const char* AudioPiece;
};

// The device rows in the order they are tested.
const std::vector<TDevicePreset>& DevicePresets();
// The eleven "(Device) ..." items in the order the format list shows them.
const std::vector<std::string>& DeviceItems();

// Builds the fragment of a device item into pieces and returns pieces.ConvertFragment. A
// "(Device)" text that names no row keeps the suffix, size and audio of the previous build.
std::string BuildDeviceOptions(const TConvertOptions& options, const TStoreInfo& info,
                               TConvertPieces& pieces);

} // namespace trimora
