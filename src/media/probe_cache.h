#pragma once
// Reports of earlier clip probes, kept per user on disk. A probe of a clip that has not changed
// since (same path, inode, size, modification and change times) and is read by the same encoder
// front-end gives back the kept report and starts no tool: a click and the cut that follows it,
// or `trimora probe` and `trimora cut` of one file, cost one probe.

#include <optional>
#include <string>
#include <vector>

namespace trimora {

// $XDG_CACHE_HOME/trimora/probe/ (default ~/.cache/trimora/probe/).
std::string ProbeCacheFolder();

// The key of a probe of fileName through the encoder command; empty when the clip or the
// front-end cannot be examined (such a probe is never kept).
std::string ProbeCacheKey(const std::string& ffmpegCommand, const std::string& fileName);

// The kept report for key, if any.
std::optional<std::vector<std::string>> LoadProbeReport(const std::string& key);

// Keeps a report for key. Written under a private name and moved into place; never through a
// symlink, never over another file. Failures are silent: the cache only saves time.
void StoreProbeReport(const std::string& key, const std::vector<std::string>& report);

} // namespace trimora
