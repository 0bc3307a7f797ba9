// Running the built xevhost binary from a test: arguments in, exit status,
// standard output and standard error out. The binary runs in the fixture
// folder (tests/data/xevhost).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace xevhost_test {

inline const std::string kFixtures = XEV_TEST_DATA_DIR "/xevhost";

struct RunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the run
  std::string out, err;
};

// Where standard output goes: a file the result reads back (the default),
// another path such as /dev/full, or a pipe whose reader has gone.
struct Output {
  std::string path;
  bool closedPipe = false;
  uint64_t addressSpace = 0;  // bytes the run may map, as ulimit -v sets it; 0: no limit
};

inline std::string ReadFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline RunResult Xevhost(const std::vector<std::string>& args, const Output& output = {}) {
  static int counter = 0;
  std::string base = testing::TempDir() + "xevhost_run_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  std::string outPath = output.path.empty() ? base + ".out" : output.path, errPath = base + ".err";
  std::vector<char*> argv{const_cast<char*>(XEVHOST_PATH)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipeEnds[2] = {-1, -1};
  if (output.closedPipe && pipe(pipeEnds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    int out = output.closedPipe ? pipeEnds[1] : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (chdir(kFixtures.c_str()) != 0 || out < 0 || err < 0) _exit(126);
    if (output.closedPipe) {
      close(pipeEnds[0]);
      signal(SIGPIPE, SIG_IGN);  // as some parents do; the tool must still end quietly
    }
    dup2(out, STDOUT_FILENO), dup2(err, STDERR_FILENO);
    rlimit limit{output.addressSpace, output.addressSpace};
    if (output.addressSpace != 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    execv(XEVHOST_PATH, argv.data());
    _exit(127);
  }
  if (output.closedPipe) close(pipeEnds[0]), close(pipeEnds[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult run{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), "", ReadFile(errPath)};
  if (output.path.empty() && !output.closedPipe) {
    run.out = ReadFile(outPath);
    std::remove(outPath.c_str());
  }
  std::remove(errPath.c_str());
  return run;
}

// A run that must succeed; when it does not, its arguments and standard error say why.
inline RunResult XevhostOk(const std::vector<std::string>& args) {
  RunResult run = Xevhost(args);
  EXPECT_EQ(run.status, 0) << testing::PrintToString(args) << "\n" << run.err;
  return run;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A scratch file, written with bytes when given; removed when the test ends.
class TempFile {
 public:
  explicit TempFile(const std::string& name)
      : path(testing::TempDir() + "xevhost_" + std::to_string(getpid()) + "_" + name) {}
  TempFile(const std::string& name, const std::string& bytes) : TempFile(name) { WriteFile(path, bytes); }
  ~TempFile() { std::remove(path.c_str()); }
  operator const std::string&() const { return path; }
  const std::string path;
};

}  // namespace xevhost_test
