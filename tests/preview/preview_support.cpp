#include "preview_support.h"

#include "common/helpers.h"
#include "support/test_env.h"

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace preview_test {

std::vector<int> OwnPlayerPids() {
    std::vector<int> pids;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return pids;
    while (dirent* e = ::readdir(proc)) {
        if (!trimora::IsAllDigits(e->d_name)) continue;
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...
        const size_t close = line.rfind(')');
        const size_t open = line.find('(');
        if (close == std::string::npos || open == std::string::npos) continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == self && state != "Z" && trimora::ContainsNoCase(comm, "mplayer"))
            pids.push_back(std::atoi(e->d_name));
    }
    ::closedir(proc);
    return pids;
}

std::string Clip(const std::string& ext) {
    // A key frame every 0.2 s, so a seek lands close to the second asked for.
    const std::string src = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -g 5 ";
    if (ext == ".wmv") return trimora_test::SampleClip("preview_g5.wmv", src + "-c:v wmv2 -an");
    if (ext == ".mp4")
        return trimora_test::SampleClip("preview_g5.mp4",
                                        src + "-c:v libx264 -pix_fmt yuv420p -an");
    return trimora_test::SampleClip("preview_g5.avi", src + "-c:v mpeg4 -q:v 3 -an");
}

} // namespace preview_test
