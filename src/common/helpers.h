#pragma once
// Small stateless helpers shared by the whole program: time texts, size texts, unique output
// names, folder, path and text functions. Folder texts always end with '/'.

#include <chrono>
#include <cstdint>
#include <string>

namespace trimora {

// Time texts -------------------------------------------------------------------------------
// duration form HH:MM:SS (hours may grow past 99; no wrap at 65536 s)
std::string FormatSeconds(int64_t seconds);
// position form HH:MM:SS.mmm
std::string FormatSecondsMs(double seconds);
// whole seconds of "H:MM:SS(.mmm)", "HH:MM:SS(.mmm)", "M:SS" ...: fields split at the colons,
// last field seconds, then minutes, then hours; empty or non-digit fields count 0.
int64_t ParseTimeSeconds(const std::string& text);
double ParseTimeSecondsFrac(const std::string& text);
using TimePoint = std::chrono::system_clock::time_point;
// elapsed form HH:MM:SS:mmm of now - start
std::string FormatElapsed(TimePoint now, TimePoint start);

// Sizes ------------------------------------------------------------------------------------
// "532 bytes", "999 KB", "1.23 MB", "12.3 MB", "123 MB" ... (three significant digits, truncated)
std::string FormatFileSize(int64_t bytes);
int64_t GetFileSize64(const std::string& path);
bool IsBigFile(const std::string& sizeText);

// Names ------------------------------------------------------------------------------------
std::string MakeUniqueFileName(const std::string& path);
// true while another process holds the file open, or when it does not exist
bool IsFileLocked(const std::string& path);
bool IsVistaOrLater();
// online processors, 1..6; an override > 0 (tests) replaces the system's count
int GetProcessorCount();
void SetProcessorCountOverride(int count);
bool DirectoryExistsEx(const std::string& path);
std::string LastFolderName(const std::string& path);
std::string EvenFrameSize(const std::string& frameSize);

// Folders (each ends with '/') ---------------------------------------------------------------
std::string SystemFolder();    // $XDG_DATA_HOME/trimora/
std::string SystemDriveRoot(); // $HOME/
std::string TempFolder();      // $TMPDIR or /tmp/
std::string ProgramFolder();   // folder of the running executable

// Texts (searches ignore case; trimmed results) --------------------------------------------
std::string TextAfter(const std::string& s, const std::string& marker);
std::string TextBefore(const std::string& s, const std::string& marker);
std::string TextAfterLast(const std::string& s, char ch, bool keep);
std::string TextUpToLast(const std::string& s, char ch, bool keep);
std::string FileNameOf(const std::string& path);
std::string FolderOf(const std::string& path);
int64_t StrToIntOrZero(const std::string& s);

std::string Trim(const std::string& s);
std::string ToLower(std::string s);
std::string ToUpper(std::string s);
// case-insensitive find; npos when absent
size_t FindNoCase(const std::string& s, const std::string& what, size_t from = 0);
bool ContainsNoCase(const std::string& s, const std::string& what);
bool IsAllDigits(const std::string& s);
bool FileExists(const std::string& path);
// a folder text with exactly one trailing '/'
std::string WithSlash(const std::string& folder);
// moves a file without ever replacing an existing target; false when the target exists
bool MoveFileNoReplace(const std::string& from, const std::string& to);

} // namespace trimora
