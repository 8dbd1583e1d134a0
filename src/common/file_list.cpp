#include "common/file_list.h"

#include "common/helpers.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <string_view>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>

namespace trimora {

namespace {

// Compiled once: a folder of many thousand files tests every name.
QRegularExpression Compile(const std::string& pattern) {
    QRegularExpression re(QString::fromStdString(pattern));
    re.optimize();
    return re;
}

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
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
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

} // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

int ListIconIndex(const std::string& fileName) {
    return IconIndex(fileName);
}

std::vector<FileListRow> ListFolderFiles(const std::string& folder, const std::string& pattern,
                                         bool* ok) {
    std::vector<FileListRow> rows;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (ok) *ok = dir != nullptr;
    if (!dir) return rows;
    const QRegularExpression re = Compile("(?i)" + pattern);
    const int dfd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const QString qname = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        if (!re.match(qname).hasMatch()) continue;
        struct stat st {};
        if (::fstatat(dfd, name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        FileListRow row;
        row.Name = name;
        row.Bytes = static_cast<int64_t>(st.st_size);
        row.SizeText = FormatFileSize(row.Bytes);
        row.Icon = IconIndex(name);
        rows.push_back(std::move(row));
    }
    ::closedir(dir);
    std::sort(rows.begin(), rows.end(),
              [](const FileListRow& x, const FileListRow& y) { return NaturalLess(x.Name, y.Name); });
    return rows;
}

} // namespace trimora
