#include "common/file_list.h"

#include "common/helpers.h"

#include <QRegularExpression>
#include <QString>

#include <dirent.h>
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

int IconIndex(const QString& name) {
    static const std::pair<QRegularExpression, int> rules[] = {
        {Compile("(?i).mp4$|.mov$"), 1},
        {Compile("(?i).flv$"), 2},
        {Compile("(?i).mkv$"), 3},
        {Compile("(?i).ram$|.rmvb$|.rm$"), 4},
        {Compile("(?i).mpg$|.mpeg$"), 5},
        {Compile("(?i).avi$"), 6},
        {Compile("(?i).wav$|.mp3$|.wma$|.cda$|.ogg$|.aac$"), 7},
    };
    for (const auto& [re, icon] : rules)
        if (re.match(name).hasMatch()) return icon;
    return 0;
}

} // namespace

int ListIconIndex(const std::string& fileName) {
    return IconIndex(QString::fromStdString(fileName));
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
        row.Icon = IconIndex(qname);
        rows.push_back(std::move(row));
    }
    ::closedir(dir);
    return rows;
}

} // namespace trimora
