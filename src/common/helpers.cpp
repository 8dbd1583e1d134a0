#include "common/helpers.h"
#include "common/safe_output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace trimora {

namespace {

std::string Pad2(int64_t v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? std::string(2 - s.size(), '0') + s : s;
}

std::string Pad3(int64_t v) {
    std::string s = std::to_string(v);
    return s.size() < 3 ? std::string(3 - s.size(), '0') + s : s;
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

int g_processorOverride = 0;

} // namespace

// ---- time texts ----------------------------------------------------------------------------

std::string FormatSeconds(int64_t seconds) {
    std::string sign;
    if (seconds < 0) {
        sign = "-";
        seconds = -seconds;
    }
    const int64_t h = seconds / 3600;
    const int64_t rest = seconds % 3600;
    return sign + Pad2(h) + ":" + Pad2(rest / 60) + ":" + Pad2(rest % 60);
}

std::string FormatSecondsMs(double seconds) {
    if (!(seconds > 0)) seconds = 0; // also NaN
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 3);
    std::string text(buf, res.ec == std::errc() ? res.ptr : buf);
    std::string whole = text, frac = ".000";
    const size_t dot = text.rfind('.');
    if (dot != std::string::npos) {
        whole = text.substr(0, dot);
        frac = text.substr(dot);
    }
    return FormatSeconds(StrToIntOrZero(whole)) + frac;
}

int64_t ParseTimeSeconds(const std::string& text) {
    std::string w = text;
    const size_t dot = w.rfind('.');
    if (dot != std::string::npos) w = w.substr(0, dot);
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t colon = w.find(':', start);
        fields.push_back(Trim(w.substr(start, colon == std::string::npos ? std::string::npos
                                                                           : colon - start)));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    const int64_t mult[3] = {1, 60, 3600};
    int64_t total = 0;
    for (size_t i = 0; i < 3 && i < fields.size(); ++i)
        total += StrToIntOrZero(fields[fields.size() - 1 - i]) * mult[i];
    return total;
}

double ParseTimeSecondsFrac(const std::string& text) {
    double result = static_cast<double>(ParseTimeSeconds(text));
    const size_t dot = text.rfind('.');
    if (dot != std::string::npos) {
        const std::string frac = "0" + Trim(text.substr(dot));
        double f = 0;
        auto res = std::from_chars(frac.data(), frac.data() + frac.size(), f);
        if (res.ec == std::errc() && std::isfinite(f)) result += f;
    }
    return result;
}

std::string FormatElapsed(TimePoint now, TimePoint start) {
    using namespace std::chrono;
    int64_t ms = duration_cast<milliseconds>(now - start).count();
    if (ms < 0) ms = 0;
    const int64_t h = ms / 3600000;
    ms %= 3600000;
    const int64_t m = ms / 60000;
    ms %= 60000;
    return Pad2(h) + ":" + Pad2(m) + ":" + Pad2(ms / 1000) + ":" + Pad3(ms % 1000);
}

// ---- sizes ---------------------------------------------------------------------------------

std::string FormatFileSize(int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    static const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // Three significant digits, truncated: below 10 units two decimals, below 100 one, below
    // 1000 none; from 1000 units on, the next unit with two decimals ("0.97 MB").
    const unsigned __int128 b = static_cast<unsigned __int128>(bytes);
    unsigned __int128 base = 1024;
    for (int u = 0; u < 6; ++u, base *= 1024) {
        for (int decimals = 2; decimals >= 0; --decimals) {
            const unsigned __int128 scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
            const unsigned __int128 limit = base * 1000 / scale;
            if (b < limit || (u == 5 && decimals == 0)) {
                const auto v = static_cast<uint64_t>(b * scale / base);
                std::string digits = std::to_string(v);
                if (decimals > 0) {
                    if (digits.size() <= static_cast<size_t>(decimals))
                        digits = std::string(decimals + 1 - digits.size(), '0') + digits;
                    digits.insert(digits.size() - decimals, ".");
                }
                return digits + " " + units[u];
            }
        }
    }
    return std::to_string(bytes) + " bytes";
}

int64_t GetFileSize64(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<int64_t>(st.st_size);
}

bool IsBigFile(const std::string& sizeText) {
    if (sizeText.size() < 2) return false;
    if (ContainsNoCase(sizeText, "GB")) return true;
    if (ContainsNoCase(sizeText, "MB")) {
        std::string s = sizeText;
        const size_t dot = s.rfind('.');
        if (dot != std::string::npos) s = s.substr(0, dot);
        return s.size() >= 3;
    }
    return false;
}

// ---- names ---------------------------------------------------------------------------------

std::string MakeUniqueFileName(const std::string& path) {
    return UniqueName(path, [](const std::string& p) { return FileExists(p) ? EEXIST : 0; });
}

bool IsFileLocked(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return true;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool locked = false;
    while (!locked) {
        dirent* e = ::readdir(proc);
        if (!e) break;
        if (!std::isdigit(static_cast<unsigned char>(e->d_name[0])) || self == e->d_name) continue;
        const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;
        while (dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            struct stat st {};
            if (::stat((fdDir + "/" + f->d_name).c_str(), &st) == 0 &&
                st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
                locked = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return locked;
}

bool IsVistaOrLater() { return false; }

int GetProcessorCount() {
    long n = g_processorOverride > 0 ? g_processorOverride : ::sysconf(_SC_NPROCESSORS_ONLN);
    if (n < 1) n = 1;
    return static_cast<int>(std::min<long>(n, 6));
}

void SetProcessorCountOverride(int count) { g_processorOverride = count; }

bool DirectoryExistsEx(const std::string& path) {
    std::string p = path;
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LastFolderName(const std::string& path) {
    std::string dir = FolderOf(path);
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    const size_t slash = dir.rfind('/');
    return slash == std::string::npos ? dir : dir.substr(slash + 1);
}

std::string EvenFrameSize(const std::string& frameSize) {
    const size_t x = frameSize.find('x');
    if (x == std::string::npos) return " ";
    auto even = [](const std::string& part) {
        const std::string t = Trim(part);
        if (!IsAllDigits(t)) return t;
        int64_t v = StrToIntOrZero(t);
        if (v % 2) --v;
        return std::to_string(v);
    };
    return even(frameSize.substr(0, x)) + "x" + even(frameSize.substr(x + 1));
}

// ---- folders -------------------------------------------------------------------------------

std::string SystemFolder() {
    // A relative XDG_DATA_HOME would depend on where the program was started.
    const std::string data = EnvOr("XDG_DATA_HOME", "");
    return WithSlash(!data.empty() && data[0] == '/' ? data : SystemDriveRoot() + ".local/share") +
           "trimora/";
}

// Never /tmp: with HOME unset or relative, the password database says where home is.
std::string SystemDriveRoot() { return UserHome(); }

std::string TempFolder() { return WithSlash(EnvOr("TMPDIR", "/tmp")); }

std::string ProgramFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return FolderOf(std::string(buf, static_cast<size_t>(n)));
}

// ---- texts ---------------------------------------------------------------------------------

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string ToLower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ToUpper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

size_t FindNoCase(const std::string& s, const std::string& what, size_t from) {
    if (what.empty()) return from <= s.size() ? from : std::string::npos;
    auto it = std::search(s.begin() + static_cast<std::ptrdiff_t>(std::min(from, s.size())),
                          s.end(), what.begin(), what.end(), [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a)) ==
                                     std::tolower(static_cast<unsigned char>(b));
                          });
    return it == s.end() ? std::string::npos : static_cast<size_t>(it - s.begin());
}

bool ContainsNoCase(const std::string& s, const std::string& what) {
    return FindNoCase(s, what) != std::string::npos;
}

bool IsAllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string TextAfter(const std::string& s, const std::string& marker) {
    if (s.empty() || marker.empty()) return "";
    const size_t p = FindNoCase(s, marker);
    return p == std::string::npos ? "" : Trim(s.substr(p + marker.size()));
}

std::string TextBefore(const std::string& s, const std::string& marker) {
    if (s.empty() || marker.empty()) return "";
    const size_t p = FindNoCase(s, marker);
    return p == std::string::npos ? "" : Trim(s.substr(0, p));
}

std::string TextAfterLast(const std::string& s, char ch, bool keep) {
    const size_t p = s.rfind(ch);
    const std::string rest = Trim(p == std::string::npos ? s : s.substr(p + 1));
    return keep ? std::string(1, ch) + rest : rest;
}

std::string TextUpToLast(const std::string& s, char ch, bool keep) {
    const size_t p = s.rfind(ch);
    if (p == std::string::npos) return "";
    return s.substr(0, keep ? p + 1 : p);
}

std::string FileNameOf(const std::string& path) {
    const size_t p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t p = path.rfind('/');
    return p == std::string::npos ? "" : path.substr(0, p + 1);
}

int64_t StrToIntOrZero(const std::string& s) {
    if (!IsAllDigits(s)) return 0;
    int64_t v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    return res.ec == std::errc() ? v : 0;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

std::string WithSlash(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    if (f.empty() || f.back() != '/') f += '/';
    return f;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST) return false;
    if (errno == EINVAL || errno == ENOSYS) { // file system without RENAME_NOREPLACE
        if (::link(from.c_str(), to.c_str()) != 0) return false;
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EXDEV) { // another file system: copy into a new file, then remove the source
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return false;
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (out < 0) {
            ::close(in);
            return false;
        }
        char buf[1 << 16];
        bool ok = true;
        for (;;) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0 || ::write(out, buf, static_cast<size_t>(n)) != n) {
                ok = false;
                break;
            }
        }
        ::close(in);
        if (::close(out) != 0) ok = false;
        if (!ok) {
            ::unlink(to.c_str());
            return false;
        }
        ::unlink(from.c_str());
        return true;
    }
    return false;
}

} // namespace trimora
