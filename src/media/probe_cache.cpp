#include "media/probe_cache.h"

#include "common/command_line.h"
#include "common/helpers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trimora {

namespace {

constexpr off_t kMaxEntryBytes = 256 * 1024; // a report is a few kB
constexpr size_t kMaxEntries = 400;          // then the older half goes

std::string StatText(const struct stat& st) {
    char buf[192];
    std::snprintf(buf, sizeof buf, "%llu:%llu:%lld:%lld.%09ld:%lld.%09ld",
                  static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
                  static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                  static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec);
    return buf;
}

std::string EntryName(const std::string& key) {
    uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (unsigned char c : key) h = (h ^ c) * 1099511628211ULL;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016llx.txt", static_cast<unsigned long long>(h));
    return buf;
}

std::string CacheRoot() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    return cache && cache[0] == '/' ? WithSlash(cache) : SystemDriveRoot() + ".cache/";
}

// The cache folder, made private to this user if missing; empty when it is not a real folder
// of ours that only we can write (then nothing is read from it or kept in it).
std::string UsableFolder(bool create) {
    const std::string dir = ProbeCacheFolder();
    if (create)
        for (const std::string& part : {CacheRoot(), CacheRoot() + "trimora/", dir})
            ::mkdir(part.c_str(), 0700);
    // Without the closing slash, or lstat would follow a symlink.
    struct stat st {};
    if (::lstat(dir.substr(0, dir.size() - 1).c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 022) != 0)
        return "";
    return dir;
}

void Prune(const std::string& dir) {
    std::vector<std::pair<int64_t, std::string>> entries;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.' && (e->d_name[1] == '\0' || e->d_name[1] == '.')) continue;
            struct stat st {};
            if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                entries.emplace_back(static_cast<int64_t>(st.st_mtim.tv_sec), e->d_name);
        }
        ::closedir(d);
    }
    if (entries.size() <= kMaxEntries) return;
    std::sort(entries.begin(), entries.end());
    for (size_t i = 0; i < entries.size() - kMaxEntries / 2; ++i)
        ::unlink((dir + entries[i].second).c_str());
}

} // namespace

std::string ProbeCacheFolder() { return CacheRoot() + "trimora/probe/"; }

std::string ProbeCacheKey(const std::string& ffmpegCommand, const std::string& fileName) {
    const std::vector<std::string> args = SplitCommandLine(ffmpegCommand);
    char real[PATH_MAX];
    struct stat tool {}, clip {};
    if (args.empty() || ::stat(args[0].c_str(), &tool) != 0 || !S_ISREG(tool.st_mode) ||
        !::realpath(fileName.c_str(), real) || ::stat(real, &clip) != 0 ||
        !S_ISREG(clip.st_mode))
        return "";
    // The key is one line of the entry: no line break may enter it.
    std::string key = "probe " + StatText(tool) + " " + StatText(clip) + " " + ffmpegCommand +
                      " -i " + real;
    std::replace(key.begin(), key.end(), '\n', '?');
    std::replace(key.begin(), key.end(), '\r', '?');
    return key;
}

std::optional<std::vector<std::string>> LoadProbeReport(const std::string& key) {
    if (key.empty()) return std::nullopt;
    const std::string dir = UsableFolder(false);
    if (dir.empty()) return std::nullopt;
    const int fd = ::open((dir + EntryName(key)).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
        st.st_size <= kMaxEntryBytes) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    // The first line is the whole key: a hash that happens to match is not enough.
    if (text.size() < key.size() + 1 || text.compare(0, key.size(), key) != 0 ||
        text[key.size()] != '\n')
        return std::nullopt;
    std::vector<std::string> lines;
    size_t from = key.size() + 1;
    while (from <= text.size()) {
        size_t nl = text.find('\n', from);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(from, nl - from));
        from = nl + 1;
    }
    return lines;
}

void StoreProbeReport(const std::string& key, const std::vector<std::string>& report) {
    if (key.empty()) return;
    const std::string dir = UsableFolder(true);
    if (dir.empty()) return;
    std::string text = key + "\n";
    for (size_t i = 0; i < report.size(); ++i) {
        if (report[i].find('\n') != std::string::npos) return;
        text += report[i];
        if (i + 1 < report.size()) text += '\n';
    }
    if (static_cast<off_t>(text.size()) > kMaxEntryBytes) return;
    std::string temp = dir + ".new-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return;
    size_t put = 0;
    while (put < text.size()) {
        const ssize_t n = ::write(fd, text.data() + put, text.size() - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        put += static_cast<size_t>(n);
    }
    const bool written = ::close(fd) == 0 && put == text.size();
    // Another probe of the same clip may have kept the same report meanwhile: that one stays.
    if (!written || !MoveFileNoReplace(temp, dir + EntryName(key))) ::unlink(temp.c_str());
    Prune(dir);
}

} // namespace trimora
