#include "common/file_list.h"

#include "common/helpers.h"
#include "common/pattern.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace trimora {

int ListIconIndex(const std::string& fileName) {
    static const std::pair<const char*, int> rules[] = {
        {"(?i).mp4$|.mov$", 1},         {"(?i).flv$", 2},          {"(?i).mkv$", 3},
        {"(?i).ram$|.rmvb$|.rm$", 4},   {"(?i).mpg$|.mpeg$", 5},   {"(?i).avi$", 6},
        {"(?i).wav$|.mp3$|.wma$|.cda$|.ogg$|.aac$", 7},
    };
    for (const auto& [pattern, icon] : rules)
        if (MatchesPattern(fileName, pattern))
            return icon;
    return 0;
}

std::vector<FileListRow> ListFolderFiles(const std::string& folder, const std::string& pattern,
                                         bool* ok) {
    std::vector<FileListRow> rows;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (ok)
        *ok = dir != nullptr;
    if (!dir)
        return rows;
    const std::string fullPattern = "(?i)" + pattern;
    const int dfd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!MatchesPattern(name, fullPattern))
            continue;
        struct stat st {};
        if (::fstatat(dfd, name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        FileListRow row;
        row.Name = name;
        row.Bytes = static_cast<int64_t>(st.st_size);
        row.SizeText = FormatFileSize(row.Bytes);
        row.Icon = ListIconIndex(name);
        rows.push_back(std::move(row));
    }
    ::closedir(dir);
    return rows;
}

} // namespace trimora
