#pragma once
// Converting a clip, whole or one stretch of it, into another container or for a device.
// The builders take a snapshot of the option lists and the clip information and write the
// option pieces into a persistent TConvertPieces: a typed option text that no rule knows leaves
// the piece it would have set as the previous build left it.

#include "media/store_info.h"

#include <string>
#include <vector>

namespace trimora {

// The convert option lists as the window shows them. The lists are editable, so a text may be
// typed; a typed text has the item index -1.
struct TConvertOptions {
    std::string ConvertType = ".avi";                          // cBoxConvertType
    std::string Quality = "Best            (Bigger Filesize)"; // comboSizeFavor
    std::string FramePreset = "Same as original";              // ComboBoxFramePreset
    int IncludeSoundIndex = 0; // cboxIncludeSound: 0 "Included", 1 "No Sound"
    int VolumeIndex = 0;       // cboxVolume: 0 "1 (No gain)" .. 3 "4 (300% gain)"
};

// The option pieces of the last build. Each is pasted into command lines unchanged: their
// leading and trailing blanks are part of them.
struct TConvertPieces {
    std::string OutputExt = ".avi"; // ".mp4", or a device suffix such as "_iPad_HiRes.m4v"
    std::string VideoCodecPiece; // " -vcodec libx264 -vpre veryfast_firstpass "
    std::string CrfPiece;        // " -crf 18 "
    std::string QscalePiece;     // " -qscale 3 " (webm, vob)
    std::string MencoderBitrate; // "4800" (asf, wmv)
    std::string VolumePiece;     // " " or " -vol 512 " ...
    std::string AudioRulePiece;  // what the audio rule of the output format chose
    std::string DeviceAudioPiece; // what the device row chose
    std::string AudioPiece;      // the audio options of the fragment, or " -an "
    std::string SizePiece;       // " -s 640x480 " or empty
    std::string ScalePiece;      // " -vf scale=640:480 " or empty (mencoder formats)
    std::string FrameSizeLabel;  // the output frame size, for the pending row
    std::string ConvertFragment;
    std::string ConvertCommand;
};

// The item lists of the convert options, in list order.
const std::vector<std::string>& ConvertTypeItems(); // twelve formats, then eleven devices
const std::vector<std::string>& QualityItems();
const std::vector<std::string>& FramePresetItems(); // sizes, "Same as original", note lines
const std::vector<std::string>& IncludeSoundItems();
const std::vector<std::string>& VolumeItems();

// The convert type names a device preset ("(Device) ..."), built by BuildDeviceOptions.
bool IsDeviceItem(const std::string& convertType);
// The output is encoded by the mencoder tool (.asf, .wmv).
bool IsMencoderFormat(const std::string& outputExt);

// " ", " -vol 512 ", " -vol 768 ", " -vol 1024 " by the item index of a volume list; an index
// above the list keeps `previous`.
std::string GainPieceFor(int index, const std::string& previous);

// Builds the fragment of a format item into pieces and returns pieces.ConvertFragment.
std::string BuildConvertOptions(const TConvertOptions& options, const TStoreInfo& info,
                                TConvertPieces& pieces);

// Builds the fragment of the item (device or format) and returns it.
std::string BuildConvertFragment(const TConvertOptions& options, const TStoreInfo& info,
                                 TConvertPieces& pieces);

// What the command line is made of besides the fragment.
struct TConvertCommandInputs {
    std::string FfmpegCommand;   // ends with a blank
    std::string ThreadsOption;   // " -threads 6 " or empty
    std::string MencoderCommand; // ends with a blank
    bool Partial = false;        // chkboxPartial
    std::string SeekArgs;        // " -ss 00:00:01.000 -t 2 " or empty
    std::string EndPosPiece;     // "-endpos 2"
    std::string EdlPiece;        // "-edl \"...qvcut.edl\" -hr-edl-seek "
    std::string InputFile;
    std::string OutputFile;
};

// Assembles pieces.ConvertCommand from pieces.ConvertFragment and returns it.
std::string BuildConvertCommand(const TConvertCommandInputs& in, TConvertPieces& pieces);

} // namespace trimora
