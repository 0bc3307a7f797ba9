#include "commands/file_replace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xevhost {
namespace {

// Holds back the signals that end a run while a temporary file exists, so
// that it can be removed before one takes effect.
class HeldSignals {
 public:
  HeldSignals() {
    sigemptyset(&ending_);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending_, s);
    pthread_sigmask(SIG_BLOCK, &ending_, &before_);
  }
  ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  bool Arrived() const {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
      if (sigismember(&pending, s) == 1) return true;
    return false;
  }

 private:
  sigset_t ending_;
  sigset_t before_;
};

bool WriteAll(int fd, std::string_view content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t wrote = write(fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

std::string Failed(const std::string& path, const char* what, int error) {
  return path + ": " + what + ": " + std::strerror(error);
}

// The file a symbolic link leads to, or path itself.
bool FollowLinks(const std::string& path, std::string& target, std::string& error) {
  struct stat link{};
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
    target = path;
    return true;
  }
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    error = Failed(path, "cannot follow the symbolic link", errno);
    return false;
  }
  target = resolved;
  return true;
}

// Nobody may write it: no write permission for us, or none at all (which
// the superuser's access check would pass over).
bool ReadOnly(const std::string& path, const struct stat& info) {
  return (info.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
}

// A device or a pipe, which --force writes into as it is.
bool WriteInPlace(const std::string& path, std::string_view content, std::string& error) {
  int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY);
  if (fd < 0) {
    error = Failed(path, "cannot write", errno);
    return false;
  }
  bool ok = WriteAll(fd, content);
  int why = errno;
  if (close(fd) != 0 && ok) ok = false, why = errno;
  if (!ok) error = Failed(path, "cannot write", why);
  return ok;
}

bool WriteTemporary(int fd, std::string_view content, const struct stat* old, int& why) {
  if (!WriteAll(fd, content) || fsync(fd) != 0) {
    why = errno;
    return false;
  }
  // mkstemp makes the file for its owner only: give it the old file's
  // permissions and owner, or a new file's.
  mode_t mask = umask(0);
  umask(mask);
  mode_t mode = old != nullptr ? old->st_mode & 07777 : 0666 & ~mask;
  if (old != nullptr && fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Only the superuser may give a file away; the group may still be ours.
    if (fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  }
  if (fchmod(fd, mode) != 0) {
    why = errno;
    return false;
  }
  return true;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, std::string_view content, const ReplaceRules& rules,
                        std::string& error) {
  std::string target = path;
  if (rules.followLinks && !FollowLinks(path, target, error)) return false;
  struct stat old{};
  bool exists = lstat(target.c_str(), &old) == 0 && !S_ISLNK(old.st_mode);
  if (exists && S_ISDIR(old.st_mode)) {
    error = path + ": is a directory";
    return false;
  }
  if (exists && !S_ISREG(old.st_mode)) {
    if (rules.force) return WriteInPlace(target, content, error);
    error = path + ": is not a regular file (a device, a pipe or a socket); --force writes into it";
    return false;
  }
  if (exists && ReadOnly(target, old) && !rules.force) {
    error = path + ": is read-only; --force replaces it anyway";
    return false;
  }

  struct stat model = old;
  bool modelled = rules.permissionsOf.empty() ? exists : stat(rules.permissionsOf.c_str(), &model) == 0;
  HeldSignals held;
  std::string temporary = target + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = Failed(path, "cannot create", errno);
    return false;
  }
  int why = 0;
  bool ok = WriteTemporary(fd, content, modelled ? &model : nullptr, why);
  if (close(fd) != 0 && ok) ok = false, why = errno;
  if (ok && held.Arrived()) {
    std::remove(temporary.c_str());
    error = path + ": not written: interrupted";
    return false;
  }
  if (ok && std::rename(temporary.c_str(), target.c_str()) == 0) return true;
  if (ok) why = errno;
  std::remove(temporary.c_str());
  error = Failed(path, "cannot write", why);
  return false;
}

}  // namespace xevhost
