#pragma once
// Writing the sound of a clip, or of the chosen stretch, into an audio file.

#include <string>
#include <vector>

namespace trimora {

// The audio option lists as the window shows them (editable: a typed text has index -1).
struct TAudioOptions {
    std::string AudioType = ".mp3"; // ComboAudio
    int VolumeIndex = 0;            // ComboExtractVol
};

// The pieces of the last build; like the convert pieces they keep their blanks.
struct TAudioPieces {
    std::string AudioOutExt;     // the ComboAudio text, "mp3" when it is empty
    std::string AudioGainPiece;  // " " or " -vol 512 " ...
    std::string AudioCodecPiece; // codec options followed by the gain piece
    std::string AudioOutput;     // the output path, unique
    std::string AudioCommand;
};

const std::vector<std::string>& AudioTypeItems();    // ".aac" ... ".wav"
const std::vector<std::string>& ExtractVolumeItems(); // the four gains

// The encoder options for an audio extension; empty for one of no known kind (the encoder then
// picks its own default for it).
std::string AudioCodecFor(const std::string& audioOutExt);

// The extension an audio output gets for a ComboAudio text: ".mp3" when the text is empty, and
// a typed extension without its point gets one, so the encoder can tell the container from the
// output name.
std::string NormalizedAudioType(const std::string& audioType);

struct TAudioCommandInputs {
    std::string FfmpegCommand; // ends with a blank; no thread option here
    std::string SeekArgs;      // " -ss ... -t ... " or empty: the whole clip
    std::string InputFile;
    std::string SaveConvertFolder;
    // Set for a run: the reserved output and the private file the encoder writes.
    std::string ReservedOutput, ToolOutput;
};

// Sets the extension, gain, codec, unique output path and command into pieces; returns the
// command.
std::string BuildAudioCommand(const TAudioOptions& options, const TAudioCommandInputs& in,
                              TAudioPieces& pieces);

} // namespace trimora
