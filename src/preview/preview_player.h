#pragma once
// One embedded preview: an mplayer process in slave mode drawing into a native window. Commands
// go to the player's standard input as text lines; its standard output and standard error
// (joined) are read on a reader thread, handed to the GUI thread in chunks of at most 1024
// bytes, split into lines there and parsed by HandleOutputLine.
//
// Every public operation is called on the GUI thread. The reader (TProcessor) and the waiter
// (TClientWaitThread) never change the player's state themselves: they queue work through the
// host's Post, which must run it on the GUI thread in the order posted.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace trimora {

enum class TPlayerStatus {
    Status_None,
    Status_Opening,
    Status_Playing,
    Status_Paused,
    Status_Stopped,
    Status_Error
};
const char* PlayerStatusText(TPlayerStatus status);

struct TClipInfoEntry {
    std::string Name, Value;
};

struct TStreamInfo {
    std::string FileName, FileFormat, PlaybackTime;
    std::string VideoDecoder, VideoCodec;
    int32_t VideoBitrate = 0, VideoWidth = 0, VideoHeight = 0;
    double VideoFps = 0, VideoAspect = 0;
    std::string AudioDecoder, AudioCodec;
    int32_t AudioBitrate = 0, AudioRate = 0, AudioChannels = 0;
    std::array<TClipInfoEntry, 10> ClipInfo;
};

// Whole seconds as H:MM:SS (3725 gives 1:02:05); negative counts as 0.
std::string PlayerClockText(int64_t seconds);

// The player executable: the first existing of programFolder/mplayer.exe, programFolder/mper.exe,
// systemFolder/mplayer.exe; otherwise systemFolder/mper.exe unchecked. Quoted for the command
// text when it holds a blank.
std::string FindPlayerExe(const std::string& programFolder, const std::string& systemFolder);

class PreviewPlayer {
  public:
    struct Host {
        // Queues work for the GUI thread. Unset: work runs at once on the posting thread
        // (only for tests that drive the parser without an event loop).
        std::function<void(std::function<void()>)> Post;
        // GUI thread, whenever SecondPosition takes a new value.
        std::function<void()> PositionChanged;
    };

    PreviewPlayer() = default;
    // A player still running is killed.
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    Host host;
    std::string PlayerExe;     // command text of the executable (FindPlayerExe)
    std::string WorkingFolder; // the player's current folder; empty: the caller's

    // State (see the class comment for who may read it)
    std::string MediaFile;
    std::string LengthText;
    double LengthSeconds = 0; // ID_LENGTH; 0 until the player has told it
    bool HasAudio = false, HasVideo = false;
    int32_t NativeWidth = 0, NativeHeight = 0;
    int32_t PercentPosition = 0;
    int32_t SecondPosition = -1;
    std::string LastStatusLine;
    bool PollingActive = false;
    std::string LastLine;
    bool CanQuit = false;
    uint32_t ExitCode = 0;
    TStreamInfo StreamInfo;

    TPlayerStatus Status() const { return status_; }

    // The command line Start would run for window (exposed for tests and the command memo).
    std::string BuildCommandLine(uint64_t window) const;

    // Launches the player for MediaFile into the native window; nothing while a player runs or
    // MediaFile is empty.
    void Start(uint64_t window);
    // "quit", then up to 1000 ms for the player to end, then ForceStop. When the player has
    // ended, its end is handled before Stop returns, so a Start right after works.
    void Stop();
    // Terminates a running player (SIGTERM, then SIGKILL); it ends in Status_Error.
    void ForceStop();
    void Pause();
    void MarkPlaying();
    void RequestPercentPosition();
    // Writes text and a line feed to the player's input; dropped while no player runs.
    void SendCommand(const std::string& text);
    bool IsRunning() const { return session_ != nullptr; }
    int Pid() const;

    // Output handling, public so it can be driven without a player.
    // A chunk of raw output: complete lines (CR, LF or CRLF) go to HandleOutputLine, an
    // unfinished last line waits for the next chunk.
    void HandleOutputChunk(const std::string& chunk);
    // End of output: a waiting unfinished line is handled.
    void FlushOutput();
    void HandleOutputLine(const std::string& line);
    void HandleIdPair(const std::string& key, const std::string& value);

  private:
    struct Session;
    void ResetForStart();
    void ProcessEnded(const std::shared_ptr<Session>& session);
    void Finalize(bool forced);
    void PostToGui(std::function<void()> work);
    static void ReaderMain(PreviewPlayer* self, std::shared_ptr<Session> s,
                           std::weak_ptr<int> alive);
    static void WaiterMain(PreviewPlayer* self, std::shared_ptr<Session> s,
                           std::weak_ptr<int> alive);

    TPlayerStatus status_ = TPlayerStatus::Status_None;
    std::string pending_;    // unfinished output line
    bool lastWasCR_ = false; // a CR ended the last line; an LF right after it belongs to it
    std::shared_ptr<Session> session_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0); // queued work checks it
};

} // namespace trimora
