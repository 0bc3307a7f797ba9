// Replacing a file the way a user can trust: the new content is written to a
// temporary file created exclusively beside the target and renamed over it,
// so a reader sees the old file or the new one, never half of either, and a
// name planted where the temporary file goes cannot redirect the write.
#pragma once

#include <string>
#include <string_view>

namespace xevhost {

struct ReplaceRules {
  // Also replace a read-only file, and write into a target that is not a
  // regular file (a device, a pipe) in place.
  bool force = false;
  // false: a symbolic link at path is itself replaced by the new file.
  bool followLinks = true;
  // A file whose permissions and owner the new one takes (a backup takes
  // those of the file it copies) instead of the replaced one's.
  std::string permissionsOf;
};

inline ReplaceRules ForceRules(bool force) {
  ReplaceRules rules;
  rules.force = force;
  return rules;
}

// Writes content to path. A symbolic link is followed: the file it points to
// is replaced and the link stays. The replaced file keeps its permissions
// (and, where the system allows, its owner); a new one gets what the umask
// leaves of 0666. Without rules.force a read-only file and a target that is
// not a regular file are refused. SIGINT, SIGTERM and SIGHUP wait while the
// temporary file exists: one that arrived meanwhile removes it, leaves the
// target as it was, and then takes effect. false with the reason in error.
bool ReplaceFileContent(const std::string& path, std::string_view content, const ReplaceRules& rules,
                        std::string& error);

}  // namespace xevhost
