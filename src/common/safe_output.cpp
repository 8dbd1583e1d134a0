#include "common/safe_output.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/helpers.h"

namespace trimora {

namespace {

constexpr const char* kListFile = "files";
constexpr const char* kLockFile = "lock";

std::string RandomText(size_t n) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[32] = {};
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::read(fd, bytes, sizeof bytes) < 0) bytes[0] = 0;
        ::close(fd);
    }
    std::string s;
    for (size_t i = 0; i < n && i < sizeof bytes; ++i) s += kChars[bytes[i] % 36];
    return s;
}

// A folder of ours that only we can change (created 0700 when missing).
bool EnsurePrivateFolder(const std::string& folder) {
    std::string path;
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') continue;
        path = folder.substr(0, i);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    return ::lstat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 0077) == 0;
}

// The file's entry when it is still the same empty regular file (not a link to one).
bool IsOurEmptyFile(const std::string& path, dev_t dev, ino_t ino) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == dev &&
           st.st_ino == ino && st.st_size == 0;
}

// Removes the entries of the folder whose names start with the private prefix (the tool's own
// helpers may add a leading point and a suffix of their own). Never follows a link.
void RemovePrivateFiles(const std::string& prefixPath) {
    const std::string dir = FolderOf(prefixPath);
    const std::string prefix = FileNameOf(prefixPath);
    if (prefix.empty()) return;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return;
    std::vector<std::string> doomed;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(prefix, 0) == 0 || name.rfind("." + prefix, 0) == 0) doomed.push_back(name);
    }
    ::closedir(d);
    for (const auto& name : doomed) {
        struct stat st {};
        const std::string path = dir + name;
        if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.c_str());
    }
}

struct TJobList {
    std::string Reserved, PrivatePrefix;
    dev_t Dev = 0;
    ino_t Ino = 0;
};

// The list is NUL-separated: names may hold any other byte.
TJobList ReadJobList(const std::string& folder) {
    TJobList list;
    const int fd = ::open((folder + kListFile).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return list;
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < (1 << 20))
        text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    std::vector<std::string> f;
    size_t from = 0;
    for (size_t p; (p = text.find('\0', from)) != std::string::npos; from = p + 1)
        f.push_back(text.substr(from, p - from));
    if (f.size() >= 4) {
        list.Reserved = f[0];
        list.Dev = static_cast<dev_t>(std::strtoull(f[1].c_str(), nullptr, 10));
        list.Ino = static_cast<ino_t>(std::strtoull(f[2].c_str(), nullptr, 10));
        list.PrivatePrefix = f[3];
    }
    return list;
}

bool ProcessAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

} // namespace

std::string UserHome() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return WithSlash(home);
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return WithSlash(pw->pw_dir);
    return "/";
}

std::string JobsRoot() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        struct stat st {};
        if (::lstat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
            (st.st_mode & 0077) == 0)
            return WithSlash(runtime) + "trimora/";
    }
    return UserHome() + ".cache/trimora/jobs/";
}

std::string UniqueName(const std::string& path,
                       const std::function<int(const std::string&)>& take) {
    int r = take(path);
    if (r == 0) return path;
    if (r != EEXIST) return "";
    const std::string dir = FolderOf(path);
    std::string name = path.substr(dir.size());
    std::string ext;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) ext = name.substr(dot);
    if (ext.size() == 4 || ext.size() == 5) name.erase(name.size() - ext.size());
    else ext.clear();
    while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
    if (!name.empty()) {
        r = take(dir + name + ext);
        if (r == 0) return dir + name + ext;
        if (r != EEXIST) return "";
    }
    for (int64_t k = 1; k < 100000; ++k) {
        const std::string ks = std::to_string(k);
        const std::string candidate = dir + name + (ks.size() < 2 ? "0" + ks : ks) + ext;
        // "name1", "name001", ... of an older numbering hold their number too.
        bool used = false;
        for (const char* pad : {"", "0", "00", "000"}) {
            const std::string other = dir + name + pad + ks + ext;
            if (other != candidate && FileExists(other)) used = true;
        }
        if (used) continue;
        r = take(candidate);
        if (r == 0) return candidate;
        if (r != EEXIST) return "";
    }
    return "";
}

// ---- job files ---------------------------------------------------------------------------------

TJobFiles::TJobFiles(const std::string& root) {
    const std::string base = root.empty() ? JobsRoot() : WithSlash(root);
    if (!EnsurePrivateFolder(base)) {
        error_ = "the work folder " + base + " cannot be made private";
        return;
    }
    std::string tmpl = base + "job-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        error_ = "cannot make a work folder in " + base;
        return;
    }
    folder_ = tmpl + "/";
    lockFd_ = ::open((folder_ + kLockFile).c_str(),
                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX) != 0) error_ = "cannot lock " + folder_;
}

TJobFiles::~TJobFiles() { Finish(); }

std::string TJobFiles::PrivatePrefix() const {
    return private_.empty() ? "" : private_.substr(0, private_.size() - FileNameOf(reserved_).size());
}

void TJobFiles::SaveList() const {
    const std::string text = reserved_ + '\0' + std::to_string(dev_) + '\0' +
                             std::to_string(ino_) + '\0' + PrivatePrefix() + '\0';
    std::string why;
    // Written on the way to every Start. The list only has to outlive this program: the folder
    // normally lives in the runtime folder, which a reboot empties anyway, so no flush to disk
    // (it cost 20-60 ms per job on a busy disk).
    WriteFileAtomically(folder_ + kListFile, text, why, false);
}

std::string TJobFiles::ReserveOutput(const std::string& wanted) {
    if (!Ok()) return "";
    struct stat st {};
    const std::string name = UniqueName(wanted, [&](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0666);
        if (fd < 0) return errno;
        ::fstat(fd, &st);
        ::close(fd);
        return 0;
    });
    if (name.empty()) {
        error_ = std::strerror(errno); // the system's cause, as for any failed run
        return "";
    }
    reserved_ = name;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    SaveList();
    return reserved_;
}

std::string TJobFiles::MakePrivateFile(bool precreate) {
    if (!Ok() || reserved_.empty()) return "";
    for (int attempt = 0; attempt < 8; ++attempt) {
        private_ = FolderOf(reserved_) + ".trimora-" + std::to_string(::getpid()) + "-" +
                   RandomText(12) + "-" + FileNameOf(reserved_);
        SaveList(); // listed before it exists, so a crash right now still gets it cleaned
        if (!precreate) return private_;
        const int fd = ::open(private_.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return private_;
        }
        if (errno != EEXIST) break;
    }
    error_ = std::strerror(errno);
    private_.clear();
    return "";
}

bool TJobFiles::Commit(std::string& reason, const std::string& from) {
    const std::string src = from.empty() ? private_ : from;
    if (reserved_.empty() || src.empty()) {
        reason = "no output name was reserved";
        return false;
    }
    if (!IsOurEmptyFile(reserved_, dev_, ino_)) {
        reason = reserved_ + " was replaced by something else while the job ran; it is left as it is";
        reserved_.clear(); // not ours any more: never remove it
        ::unlink(src.c_str());
        return false;
    }
    if (::rename(src.c_str(), reserved_.c_str()) != 0) {
        reason = "the result could not be moved to " + reserved_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

void TJobFiles::Abandon() {
    if (committed_) return;
    if (!reserved_.empty() && IsOurEmptyFile(reserved_, dev_, ino_)) ::unlink(reserved_.c_str());
    if (!private_.empty())
        RemovePrivateFiles(PrivatePrefix());
}

void TJobFiles::Finish() {
    if (finished_) return;
    finished_ = true;
    Abandon();
    if (committed_ && !private_.empty())
        RemovePrivateFiles(PrivatePrefix());
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
}

int CleanOrphanedJobs(const std::string& root) {
    const std::string base = root.empty() ? JobsRoot() : WithSlash(root);
    DIR* d = ::opendir(base.c_str());
    if (!d) return 0;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d))
        if (std::string(e->d_name).rfind("job-", 0) == 0) names.emplace_back(e->d_name);
    ::closedir(d);
    int removed = 0;
    for (const auto& name : names) {
        const std::string folder = base + name + "/";
        struct stat st {};
        if (::lstat((base + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        // "job-<pid>-XXXXXX": a living owner may have made the folder and not locked it yet.
        const pid_t pid = static_cast<pid_t>(std::atoi(name.c_str() + 4));
        if (pid == ::getpid() || ProcessAlive(pid)) continue;
        const int fd = ::open((folder + kLockFile).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        const TJobList list = ReadJobList(folder);
        if (!list.Reserved.empty() && IsOurEmptyFile(list.Reserved, list.Dev, list.Ino))
            ::unlink(list.Reserved.c_str());
        if (!list.PrivatePrefix.empty()) RemovePrivateFiles(list.PrivatePrefix);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        if (fd >= 0) ::close(fd);
        ++removed;
    }
    return removed;
}

// ---- settings and histories ---------------------------------------------------------------------

std::string SettingsFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        config && config[0] == '/' ? WithSlash(config) : UserHome() + ".config/";
    return base + "Quennic/TrimoraCut.conf";
}

bool IsSaneSettingsFile(const std::string& path, int64_t maxBytes, std::string& why) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
    if (S_ISLNK(st.st_mode)) why = path + " is a symbolic link";
    else if (!S_ISREG(st.st_mode)) why = path + " is not a regular file";
    else if (st.st_size > maxBytes) why = path + " is too large (" + FormatFileSize(st.st_size) + ")";
    else return true;
    return false;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& why,
                         bool durable) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        why = path + " is not a regular file; it is left as it is";
        return false;
    }
    std::string tmpl = FolderOf(path) + "." + FileNameOf(path) + ".XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        why = "cannot write beside " + path + ": " + std::strerror(errno);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (durable) ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    // rename replaces a link itself, never what it points to.
    if (!ok || ::rename(tmpl.c_str(), path.c_str()) != 0) {
        why = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(tmpl.c_str());
        return false;
    }
    return true;
}

// ---- front-ends ---------------------------------------------------------------------------------

bool IsTrustedExecutable(const std::string& path, std::string& why) {
    auto trusted = [&](const std::string& p, bool follow) {
        struct stat st {};
        std::string q = p;
        while (q.size() > 1 && q.back() == '/') q.pop_back();
        const int r = follow ? ::stat(q.c_str(), &st) : ::lstat(q.c_str(), &st);
        if (r != 0) {
            why = q + " is missing";
            return false;
        }
        if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
            why = q + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
            return false;
        }
        // A link's own mode bits mean nothing; a sticky folder still lets others add files.
        if (!S_ISLNK(st.st_mode) && (st.st_mode & 0022) != 0) {
            why = q + " can be changed by other users";
            return false;
        }
        return true;
    };
    if (!trusted(FolderOf(path), true) || !trusted(path, false)) return false;
    char real[4096];
    if (!::realpath(path.c_str(), real)) {
        why = path + " is missing";
        return false;
    }
    return trusted(FolderOf(real), true) && trusted(real, true);
}

namespace {

// One value of the INI format: quoted runs, escapes, and the commas that split a list. Blanks
// around an unquoted value are not part of it.
std::vector<std::string> IniValues(const std::string& text) {
    std::vector<std::string> values(1);
    size_t keep = 0; // the length of values.back() up to its last quoted or escaped character
    auto close = [&] {
        std::string& v = values.back();
        const size_t last = v.find_last_not_of(" \t");
        v.resize(std::max(keep, last == std::string::npos ? 0 : last + 1));
    };
    auto digit = [](char c) {
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    };
    bool quoted = false;
    size_t i = text.find_first_not_of(" \t");
    for (; i < text.size(); ++i) {
        std::string& v = values.back();
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            keep = v.size();
        } else if (c == ',' && !quoted) {
            close();
            values.emplace_back();
            keep = 0;
            while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
        } else if (c == '\\') {
            if (i + 1 == text.size()) break; // a lone one at the end stands for nothing
            const char e = text[++i];
            static const std::string from = "abfnrtv", to = "\a\b\f\n\r\t\v";
            if (const size_t at = from.find(e); at != std::string::npos) {
                v += to[at];
            } else if (e == 'x' || (e >= '0' && e <= '7')) {
                const bool hex = e == 'x';
                unsigned code = hex ? 0 : static_cast<unsigned>(e - '0');
                while (i + 1 < text.size() &&
                       (hex ? std::isxdigit(static_cast<unsigned char>(text[i + 1])) != 0
                            : text[i + 1] >= '0' && text[i + 1] <= '7'))
                    code = code * (hex ? 16 : 8) + static_cast<unsigned>(digit(text[++i]));
                // A character code, written as UTF-8.
                code &= 0xffff;
                if (code < 0x80) {
                    v += static_cast<char>(code);
                } else if (code < 0x800) {
                    v += static_cast<char>(0xc0 | (code >> 6));
                    v += static_cast<char>(0x80 | (code & 0x3f));
                } else {
                    v += static_cast<char>(0xe0 | (code >> 12));
                    v += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
                    v += static_cast<char>(0x80 | (code & 0x3f));
                }
            } else {
                v += e; // \" \\ \' \? and any other character stand for themselves
            }
            keep = v.size();
        } else {
            v += c;
            if (quoted) keep = v.size();
        }
    }
    close();
    return values;
}

} // namespace

std::string ReadSettingsText(const std::string& path, const std::string& key) {
    std::ifstream in(path, std::ios::binary);
    std::string line, section = "General", found;
    bool have = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("\xef\xbb\xbf", 0) == 0) line.erase(0, 3);
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == ';' || line[start] == '#') continue;
        if (line[start] == '[') {
            const size_t close = line.find(']', start);
            section = line.substr(start + 1, close == std::string::npos ? std::string::npos
                                                                         : close - start - 1);
            if (section == "%General") section = "General";
            continue;
        }
        const size_t eq = line.find('=', start);
        if (eq == std::string::npos || section != "General") continue;
        std::string name = line.substr(start, eq - start);
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name != key) continue;
        const std::vector<std::string> values = IniValues(line.substr(eq + 1));
        have = values.size() == 1;
        found = have ? values[0] : std::string();
    }
    if (!have) return "";
    if (found.rfind("@@", 0) == 0) return found.substr(1); // a text that starts with '@'
    if (found.rfind("@String(", 0) == 0 && found.back() == ')')
        return found.substr(8, found.size() - 9);
    return found.rfind('@', 0) == 0 ? std::string() : found; // not a text
}

} // namespace trimora
