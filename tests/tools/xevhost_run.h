// Running the built xevhost binary from a test: arguments in, exit status,
// standard output and standard error out, and a table runner over cases of
// (arguments, status, output, error). The binary runs in the fixture folder
// (tests/data/xevhost); "$/" in a case stands for the test's scratch folder.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
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
// another path such as /dev/full, or a pipe whose reader has gone; and what
// standard input holds (a pipe with these bytes, when given).
struct Output {
  std::string path = {};
  bool closedPipe = false;
  uint64_t addressSpace = 0;  // bytes the run may map, as ulimit -v sets it; 0: no limit
  const char* input = nullptr;
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
  int pipeEnds[2] = {-1, -1}, inputEnds[2] = {-1, -1};
  if (output.closedPipe && pipe(pipeEnds) != 0) return {};
  if (output.input != nullptr) {
    const ssize_t size = static_cast<ssize_t>(std::strlen(output.input));
    if (pipe(inputEnds) != 0 || write(inputEnds[1], output.input, static_cast<size_t>(size)) != size) return {};
    close(inputEnds[1]);
  }
  pid_t pid = fork();
  if (pid == 0) {
    int out = output.closedPipe ? pipeEnds[1] : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (chdir(kFixtures.c_str()) != 0 || out < 0 || err < 0) _exit(126);
    if (output.closedPipe) {
      close(pipeEnds[0]);
      signal(SIGPIPE, SIG_IGN);  // as some parents do; the tool must still end quietly
    }
    if (output.input != nullptr) dup2(inputEnds[0], STDIN_FILENO);
    dup2(out, STDOUT_FILENO), dup2(err, STDERR_FILENO);
    rlimit limit{output.addressSpace, output.addressSpace};
    if (output.addressSpace != 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    execv(XEVHOST_PATH, argv.data());
    _exit(127);
  }
  if (output.closedPipe) close(pipeEnds[0]), close(pipeEnds[1]);
  if (output.input != nullptr) close(inputEnds[0]);
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

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One run and what it must give. An expected text "file:NAME" is the bytes
// of that fixture; the parts (outHas, errHas) replace the whole texts.
struct Case {
  std::vector<std::string> args = {};
  int status = 0;
  std::string out = {};
  std::string err = {};
  std::string outHas = {};
  std::string errHas = {};
  Output how = {};
};

// A test with a scratch folder for its inputs and documents.
class XevhostTest : public testing::Test {
 protected:
  void SetUp() override {
    scratch_ = testing::TempDir() + "xevhost_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(scratch_);
  }
  void TearDown() override { std::filesystem::remove_all(scratch_); }

  // The path of a scratch file, written with bytes.
  std::string Input(const std::string& name, const std::string& bytes) {
    WriteFile(scratch_ + "/" + name, bytes);
    return scratch_ + "/" + name;
  }
  std::string Expand(std::string text) const {
    for (size_t at; (at = text.find("$/")) != std::string::npos;) text.replace(at, 1, scratch_);
    if (text.rfind("file:", 0) == 0) return ReadFile(kFixtures + "/" + text.substr(5));
    return text;
  }
  RunResult Run(const std::vector<std::string>& args, const Output& how = {}) const {
    std::vector<std::string> expanded;
    for (const std::string& a : args) expanded.push_back(Expand(a));
    return Xevhost(expanded, how);
  }
  // Runs the cases in order: a later case may read what an earlier one saved.
  void ExpectRuns(const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::PrintToString(c.args));
      RunResult run = Run(c.args, c.how);
      EXPECT_EQ(run.status, c.status) << run.err;
      ExpectText(run.out, c.out, c.outHas);
      ExpectText(run.err, c.err, c.errHas);
    }
  }
  void ExpectText(const std::string& seen, const std::string& all, const std::string& part) const {
    if (part.empty()) EXPECT_EQ(seen, Expand(all));
    else EXPECT_NE(seen.find(Expand(part)), std::string::npos) << seen.substr(0, 600);
  }
  std::string scratch_;
};

}  // namespace xevhost_test
