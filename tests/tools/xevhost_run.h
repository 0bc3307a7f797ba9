// Running the built xevhost from a test: the binary on fixtures or scratch
// files, its output and exit status caught for comparison.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace xevhost_test {

const std::string kFixtures = XEV_TEST_DATA_DIR "/xevhost";

struct RunResult {
  int status = -1;
  std::string out, err;
};

inline std::string ReadFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Runs xevhost in the fixture folder with stdout and stderr caught in files.
inline RunResult Xevhost(const std::vector<std::string>& args) {
  static int counter = 0;
  std::string base = testing::TempDir() + "xevhost_run_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  std::string outPath = base + ".out", errPath = base + ".err";
  std::vector<char*> argv{const_cast<char*>(XEVHOST_PATH)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (chdir(kFixtures.c_str()) != 0 || out < 0 || err < 0) _exit(126);
    dup2(out, STDOUT_FILENO), dup2(err, STDERR_FILENO);
    execv(XEVHOST_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult run{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(outPath), ReadFile(errPath)};
  std::remove(outPath.c_str()), std::remove(errPath.c_str());
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
