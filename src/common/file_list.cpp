#include "common/file_list.h"

#include "common/helpers.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace trimora {

namespace {

// Compiled once: a folder of many thousand files tests every name.
QRegularExpression Compile(const std::string& pattern) {
    QRegularExpression re(QString::fromStdString(pattern));
    re.optimize();
    return re;
}

// A pattern that only lists name endings, as the folder lists use them (".mkv$|.flv$",
// "\\.(mp4|avi)$"), tested without a regular expression. Each ending is a row of characters:
// '\0' stands for the point (any character), a letter stands for itself in either case. Any
// other pattern (users type their own) is left to the regular expression.
class EndingPattern {
  public:
    explicit EndingPattern(std::string_view pattern) {
        size_t i = 0;
        ok_ = Alternatives(pattern, i, false, endings_) && i == pattern.size() &&
              endings_.size() <= 256;
        for (const std::string& e : endings_)
            longest_ = std::max(longest_, e.size());
    }
    bool Ok() const { return ok_; }
    // Whether the test below gives the regular expression's answer for this name: the bytes it
    // looks at are plain printable ASCII, so one byte is one character, no line break can meet
    // "$", and no letter has a case partner outside ASCII.
    bool Decides(std::string_view name) const {
        const size_t n = std::min(name.size(), longest_ + 1);
        for (size_t k = name.size() - n; k < name.size(); ++k)
            if (name[k] < 0x20 || name[k] > 0x7e) return false;
        return true;
    }
    bool Matches(std::string_view name) const {
        for (const std::string& e : endings_) {
            if (e.size() > name.size()) continue;
            const char* tail = name.data() + name.size() - e.size();
            size_t k = 0;
            while (k < e.size() &&
                   (e[k] == '\0' || e[k] == Lower(static_cast<unsigned char>(tail[k]))))
                ++k;
            if (k == e.size()) return true;
        }
        return false;
    }

  private:
    static int Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

    // alternatives := sequence ('|' sequence)*; at the top level each sequence ends in '$'.
    static bool Alternatives(std::string_view p, size_t& i, bool inGroup,
                             std::vector<std::string>& out) {
        for (;;) {
            std::vector<std::string> seq{""};
            if (!Sequence(p, i, inGroup, seq)) return false;
            out.insert(out.end(), seq.begin(), seq.end());
            if (i < p.size() && p[i] == '|') {
                ++i;
                continue;
            }
            return true;
        }
    }
    static bool Sequence(std::string_view p, size_t& i, bool inGroup,
                         std::vector<std::string>& seq) {
        while (i < p.size() && p[i] != '|' && p[i] != ')' && p[i] != '$') {
            const char c = p[i++];
            std::vector<std::string> next;
            if (c == '(') {
                std::vector<std::string> group;
                if (inGroup || !Alternatives(p, i, true, group) || i >= p.size() || p[i] != ')')
                    return false;
                ++i;
                if (seq.size() * group.size() > 256) return false;
                for (const std::string& s : seq)
                    for (const std::string& g : group)
                        next.push_back(s + g);
                seq.swap(next);
                continue;
            }
            char atom;
            if (c == '.') {
                atom = '\0';
            } else if (c == '\\' && i < p.size() &&
                       std::ispunct(static_cast<unsigned char>(p[i]))) {
                atom = static_cast<char>(Lower(static_cast<unsigned char>(p[i++])));
            } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ||
                       c == ' ') {
                atom = static_cast<char>(Lower(static_cast<unsigned char>(c)));
            } else {
                return false;
            }
            for (std::string& s : seq)
                s += atom;
        }
        if (inGroup) return i < p.size() && p[i] != '$';
        // Only endings: every sequence at the top level is closed by '$'.
        if (i >= p.size() || p[i] != '$') return false;
        ++i;
        return i == p.size() || p[i] == '|';
    }

    std::vector<std::string> endings_;
    size_t longest_ = 0;
    bool ok_ = false;
};

// True when name ends in any character but a line break followed by ext (lower case), letter
// case ignored: what the pattern "(?i).ext$" finds, without a pattern match per file.
bool EndsLike(std::string_view name, std::string_view ext) {
    if (!name.empty() && name.back() == '\n') {
        if (EndsLike(name.substr(0, name.size() - 1), ext)) return true; // "$" before a last break
    }
    if (name.size() <= ext.size() || name[name.size() - ext.size() - 1] == '\n') return false;
    for (size_t i = 0; i < ext.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - ext.size() + i])) != ext[i])
            return false;
    return true;
}

int IconIndex(std::string_view name) {
    static const std::pair<std::vector<std::string_view>, int> rules[] = {
        {{"mp4", "mov"}, 1},
        {{"flv"}, 2},
        {{"mkv"}, 3},
        {{"ram", "rmvb", "rm"}, 4},
        {{"mpg", "mpeg"}, 5},
        {{"avi"}, 6},
        {{"wav", "mp3", "wma", "cda", "ogg", "aac"}, 7},
    };
    for (const auto& [exts, icon] : rules)
        for (std::string_view ext : exts)
            if (EndsLike(name, ext)) return icon;
    return 0;
}

int Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// <0, 0, >0 as a sorts before, with, after b; case and leading zeros ignored.
int NaturalCompare(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            // More significant digits is the bigger number; same count compares digit by digit.
            if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
            for (; i < ei; ++i, ++j)
                if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
            continue;
        }
        const int ca = Lower(static_cast<unsigned char>(a[i]));
        const int cb = Lower(static_cast<unsigned char>(b[j]));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i, ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

void AppendNaturalKey(std::string_view name, std::string& key) {
    for (size_t i = 0; i < name.size();) {
        if (!IsDigit(name[i])) {
            key += static_cast<char>(Lower(static_cast<unsigned char>(name[i++])));
            continue;
        }
        // A run of digits: one byte that sorts like any digit against a letter or sign, then
        // the count of its digits without leading zeros (one byte below 255, else 255 and four
        // bytes, highest first), then those digits. Two runs meet at the same place in both
        // keys, so more digits is the bigger number and the same count compares digit by digit,
        // as NaturalCompare does. (Short keys stay inside the string, without an allocation.)
        while (i < name.size() && name[i] == '0')
            ++i;
        size_t end = i;
        while (end < name.size() && IsDigit(name[end]))
            ++end;
        const size_t count = end - i;
        key += '0';
        if (count < 255) {
            key += static_cast<char>(count);
        } else {
            key += static_cast<char>(255);
            for (int shift = 24; shift >= 0; shift -= 8)
                key += static_cast<char>((count >> shift) & 0xff);
        }
        key.append(name.substr(i, count));
        i = end;
    }
}

} // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::string NaturalKey(const std::string& name) {
    std::string key;
    AppendNaturalKey(name, key);
    return key;
}

int ListIconIndex(const std::string& fileName) {
    return IconIndex(fileName);
}

std::vector<FileListRow> ListFolderNames(const std::string& folder, const std::string& pattern,
                                         bool* ok) {
    std::vector<FileListRow> rows;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (ok) *ok = dir != nullptr;
    if (!dir) return rows;
    const EndingPattern endings(pattern);
    QRegularExpression re; // compiled only for a name the endings cannot decide
    bool compiled = false;
    auto matches = [&](std::string_view name) {
        if (endings.Ok() && endings.Decides(name)) return endings.Matches(name);
        if (!compiled) re = Compile("(?i)" + pattern), compiled = true;
        return re.match(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))
            .hasMatch();
    };
    // Names and their sort keys side by side in one buffer: a large folder costs a few
    // allocations, not two per name.
    struct Entry {
        uint32_t at, nameSize, keySize;
    };
    std::vector<Entry> entries;
    std::string text;
    const int dfd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !matches(name)) continue;
        // The kind of file comes with the name; only a link, or a file system that does not
        // tell, needs a look at the file itself.
        if (entry->d_type != DT_REG) {
            if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) continue;
            struct stat st {};
            if (::fstatat(dfd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        }
        const auto at = static_cast<uint32_t>(text.size());
        text += name;
        AppendNaturalKey(name, text);
        entries.push_back({at, static_cast<uint32_t>(name.size()),
                           static_cast<uint32_t>(text.size() - at - name.size())});
    }
    ::closedir(dir);
    auto nameOf = [&](const Entry& e) { return std::string_view(text).substr(e.at, e.nameSize); };
    auto keyOf = [&](const Entry& e) {
        return std::string_view(text).substr(e.at + e.nameSize, e.keySize);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& x, const Entry& y) {
        const int c = keyOf(x).compare(keyOf(y));
        return c != 0 ? c < 0 : nameOf(x) < nameOf(y);
    });
    rows.reserve(entries.size());
    for (const Entry& e : entries) {
        FileListRow& row = rows.emplace_back();
        row.Name = nameOf(e);
        row.Icon = IconIndex(row.Name);
    }
    return rows;
}

void FillFileSizes(const std::string& folder, std::vector<FileListRow>& rows,
                   const std::atomic<bool>* stop) {
    const int dfd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (FileListRow& row : rows) {
        if (stop && stop->load(std::memory_order_relaxed)) break;
        struct stat st {};
        if (dfd < 0 || ::fstatat(dfd, row.Name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) {
            row.Bytes = -1;
            row.SizeText.clear();
            continue;
        }
        row.Bytes = static_cast<int64_t>(st.st_size);
        row.SizeText = FormatFileSize(row.Bytes);
    }
    if (dfd >= 0) ::close(dfd);
}

void FileSizeFill::Start(std::string folder, std::vector<FileListRow> rows,
                         std::function<void(std::vector<FileListRow>)> done) {
    Stop();
    stop_ = false;
    thread_ = std::thread([this, folder = std::move(folder), rows = std::move(rows),
                           done = std::move(done)]() mutable {
        FillFileSizes(folder, rows, &stop_);
        if (!stop_) done(std::move(rows));
    });
}

void FileSizeFill::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<FileListRow> ListFolderFiles(const std::string& folder, const std::string& pattern,
                                         bool* ok) {
    std::vector<FileListRow> rows = ListFolderNames(folder, pattern, ok);
    FillFileSizes(folder, rows);
    std::erase_if(rows, [](const FileListRow& r) { return r.Bytes < 0; });
    return rows;
}

} // namespace trimora
