// No silent loss of output: write errors on standard output and on --save
// are told in one line with a non-zero status, a closed pipe ends quietly, a
// failed save keeps the document that was there, and input the tool cannot
// use is refused with file, line and cause before anything is written.
#include <sys/mount.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "xevhost_run.h"

namespace {

using namespace xevhost_test;

constexpr int kExitOutput = 74;

TEST(XevhostOutput, AFullDiskFailsEveryCommandWithOneLine) {
  TempFile doc("full.xev");
  ASSERT_EQ(Xevhost({"orders.csv", "-f", "orders.formulas", "--save", doc, "--limit", "0"}).status, 0);
  const std::vector<std::vector<std::string>> commands = {
      {"orders.csv", "-f", "orders.formulas", "--format", "csv"},
      {"orders.csv", "-f", "orders.formulas", "--format", "json"},
      {"orders.csv", "-f", "orders.formulas", "--format", "table"},
      {"info", doc},
      {"explain", "Total", "orders.csv", "-f", "orders.formulas"},
      {"--help"}};
  for (const auto& args : commands) {
    RunResult run = Xevhost(args, Output{"/dev/full"});
    EXPECT_EQ(run.status, kExitOutput) << args[0] << ": " << run.err;
    EXPECT_EQ(run.err, "xevhost: cannot write the output: No space left on device\n") << args[0];
  }
}

TEST(XevhostOutput, AClosedPipeEndsTheRunQuietly) {
  // Enough rows that the output cannot fit the pipe before the reader is gone.
  std::string rows = "n\n";
  for (int i = 0; i < 20000; ++i) rows += std::to_string(i) + "\n";
  TempFile data("many.csv", rows);
  RunResult run = Xevhost({data, "--formula", "Twice=n * 2", "--format", "csv"}, Output{"", true});
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(run.status == 0 || run.status == 128 + SIGPIPE) << run.status;
}

// A small file system that fills up; only where the test may mount one.
class FullDisk {
 public:
  FullDisk() : dir(testing::TempDir() + "xevhost_tiny_" + std::to_string(getpid())) {
    mkdir(dir.c_str(), 0700);
    mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~FullDisk() {
    if (mounted) umount(dir.c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
  bool mounted = false;
};

TEST(XevhostOutput, AFailedSaveKeepsTheDocumentThatWasThere) {
  FullDisk disk;
  if (!disk.mounted) GTEST_SKIP() << "cannot mount a small file system here";
  std::string doc = disk.dir + "/report.xev";
  ASSERT_EQ(Xevhost({"orders.csv", "-f", "orders.formulas", "--save", doc, "--limit", "0"}).status, 0);
  std::string before = ReadFile(doc);
  ASSERT_FALSE(before.empty());
  // Far more formula text than the disk holds.
  std::string formulas;
  for (int i = 0; i < 3000; ++i) formulas += "Long" + std::to_string(i) + " = Qty * " + std::to_string(i) + " + Price * 1000000\n";
  TempFile many("many.formulas", formulas);
  RunResult run = Xevhost({"orders.csv", "-f", many, "--save", doc, "--limit", "0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "xevhost: " + doc + ": cannot write: No space left on device\n");
  EXPECT_EQ(ReadFile(doc), before);
}

TEST(XevhostOutput, SaveReplacesTheDocumentAndRefusesWhatTheFormatCannotHold) {
  TempFile doc("replace.xev");
  ASSERT_EQ(Xevhost({"orders.csv", "-f", "orders.formulas", "--save", doc, "--limit", "0"}).status, 0);
  std::string before = ReadFile(doc);
  std::string formulas;
  for (int i = 0; i < 32768; ++i) formulas += "F" + std::to_string(i) + " = Qty * " + std::to_string(i) + "\n";
  TempFile many("toomany.formulas", formulas);
  RunResult run = Xevhost({"orders.csv", "-f", many, "--save", doc, "--limit", "0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "xevhost: " + doc.path +
                         ": a document holds at most 32767 data items and 32767 formulas; this one would hold 7 "
                         "and 32768\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(doc), before);
  ASSERT_EQ(Xevhost({"orders.csv", "--formula", "One=1", "--save", doc, "--limit", "0"}).status, 0);
  EXPECT_NE(ReadFile(doc), before);
  struct stat info {};
  ASSERT_EQ(stat(doc.path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0044, 0u);  // readable as any other file the user writes
}

// Saving replaces only what a user would expect it to: the file keeps its
// permissions, a link keeps pointing at it, and a read-only file or a device
// is replaced only with --force. No temporary file stays behind.
TEST(XevhostOutput, SaveKeepsPermissionsFollowsLinksAndRefusesWhatItShouldNotReplace) {
  const std::string dir = testing::TempDir() + "xevhost_save_" + std::to_string(getpid());
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string doc = dir + "/doc.xev", link = dir + "/link.xev";
  auto save = [](const std::string& path, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"orders.csv", "--formula", "x=Qty", "--save", path, "--limit", "0"};
    args.insert(args.end(), more.begin(), more.end());
    return Xevhost(args);
  };
  auto mode = [](const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
  };
  WriteFile(doc, "old");
  ASSERT_EQ(symlink("doc.xev", link.c_str()), 0);
  struct Case {
    mode_t before;
    std::string path;
    std::vector<std::string> more;
    int status;
    std::string err;  // "" for none
    bool replaced;
  };
  const Case cases[] = {
      {0600, doc, {}, 0, "", true},
      {0640, link, {}, 0, "", true},  // through the link: the file it points to
      {0444, doc, {}, 1, "xevhost: " + doc + ": is read-only; --force replaces it anyway\n", false},
      {0444, doc, {"--force"}, 0, "", true},
  };
  for (const Case& c : cases) {
    WriteFile(doc, "old");
    ASSERT_EQ(chmod(doc.c_str(), c.before), 0);
    RunResult run = save(c.path, c.more);
    EXPECT_EQ(run.status, c.status) << c.before << " " << run.err;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(ReadFile(doc) != "old", c.replaced) << c.before;
    EXPECT_EQ(mode(doc), c.before);
  }
  struct stat info {};
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link was replaced by a file";
  RunResult device = save("/dev/null");
  EXPECT_EQ(device.status, 1);
  EXPECT_EQ(device.err, "xevhost: /dev/null: is not a regular file (a device, a pipe or a socket); --force writes into it\n");
  EXPECT_EQ(save("/dev/null", {"--force"}).status, 0);
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced by a file";
  std::remove(link.c_str());
  std::remove(doc.c_str());
  EXPECT_EQ(rmdir(dir.c_str()), 0) << "a temporary file was left behind";
}

TEST(XevhostInput, UnusableInputIsRefusedWithFileLineAndCause) {
  std::string longLine = "Qty,Price\n1,2\n3," + std::string(10 << 20, '7') + "\n";
  std::string lateBad;
  for (int i = 0; i < 100000; ++i) lateBad += "F" + std::to_string(i) + " = Qty * " + std::to_string(i) + "\n";
  lateBad += "Bad = Qty +\n";
  TempFile notUtf8("latin1.csv", "Qty,Name\n1,Caf\xE9\n"), longCsv("long.csv", longLine),
      badFormulas("latin1.formulas", "A = Qty\nB = 'Caf\xE9'\n"),
      longFormula("long.formulas", "A = Qty\nB = " + std::string(2 << 20, '1') + "\n"),
      hundredThousand("late.formulas", lateBad), blankFirst("blank_first.csv", "\nQty,Price\n1,2\n"),
      zeroByte("zero.formulas", std::string("A = Qty\nB = Qty\0 + 1\n", 21));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{notUtf8, "--formula", "x=Qty"}, 1, notUtf8.path + ":2: byte 6 (0xE9) is not valid UTF-8"},
      {{longCsv, "--formula", "x=Qty"}, 1, longCsv.path + ": line 3: record longer than 1048576 bytes"},
      {{"orders.csv", "-f", badFormulas}, 1, badFormulas.path + ":2: byte 9 (0xE9) is not valid UTF-8"},
      {{"orders.csv", "-f", longFormula}, 1, longFormula.path + ":2: line longer than 1048576 bytes"},
      {{"orders.csv", "-f", zeroByte}, 1, zeroByte.path + ":2: a zero byte in the line"},
      {{"orders.csv", "-f", hundredThousand}, 2, hundredThousand.path + ":100001:12: error 109"},
      {{blankFirst, "--formula", "x=Qty"}, 1, blankFirst.path + ": line 1 is empty; the first line must be the header"},
      {{"orders.csv", "--save", ""}, 64, "--save needs a file name"},
      {{"/dev/stdin", "--formula", "x=Qty"}, 1, "/dev/stdin: is a pipe or another stream, which cannot be read twice"},
  };
  // Standard input as a pipe, for the child to find at /dev/stdin.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_EQ(write(pipeEnds[1], "Qty\n1\n", 6), 6);
  close(pipeEnds[1]);
  int savedStdin = dup(STDIN_FILENO);
  dup2(pipeEnds[0], STDIN_FILENO);
  close(pipeEnds[0]);
  for (const Case& c : cases) {
    RunResult run = Xevhost(c.args);
    EXPECT_EQ(run.status, c.status) << c.message << "\n" << run.err;
    EXPECT_EQ(run.err.rfind("xevhost: " + c.message, 0) == 0 || run.err.rfind(c.message, 0) == 0, true)
        << run.err.substr(0, 300);
    EXPECT_EQ(run.out, "") << c.message;
  }
  dup2(savedStdin, STDIN_FILENO);
  close(savedStdin);
  // Under code page 1252 the same file is simply read in the code page.
  RunResult ansi = XevhostOk({notUtf8, "--code-page", "1252", "--formula", "x=Name", "--format", "csv"});
  EXPECT_EQ(ansi.out, "x\nCaf\xC3\xA9\n");
}

// Memory running out ends the run with one line and status 71, never an abort
// or an empty cell that passes for a value: in the tool (grouping a hundred
// thousand keys in 24 MB) and inside a formula (a text past the 2 GB a block
// holds), on the row engine and on the grouped path. A build whose binary
// cannot start within the limit at all (the sanitizers' shadow memory) skips
// the limited case.
TEST(XevhostOutput, RunningOutOfMemoryIsOneLineAndItsOwnStatus) {
  std::string keys = "Key,Value\n";
  for (int i = 0; i < 100000; ++i) keys += "k" + std::to_string(i) + "," + std::to_string(i) + "\n";
  TempFile distinct("distinct.csv", keys);
  const std::string huge = "Big=StrRepeat('abc', 1000000000)";
  struct Case {
    std::vector<std::string> args;
    uint64_t addressSpace;
  };
  const Case cases[] = {
      {{"orders.csv", "--formula", huge}, 0},
      {{"orders.csv", "--group-by", "Customer", "--formula", huge}, 0},
      {{distinct, "--group-by", "Key", "--formula", "Twice=Value * 2"}, 24 << 20},
  };
  for (const Case& c : cases) {
    if (c.addressSpace != 0 && Xevhost({"orders.csv", "--formula", "x=Qty"}, Output{"", false, c.addressSpace}).status != 0)
      GTEST_SKIP() << "xevhost cannot start within " << (c.addressSpace >> 20) << " MB in this build";
    RunResult run = Xevhost(c.args, Output{"", false, c.addressSpace});
    EXPECT_EQ(run.status, 71) << c.args[1];
    EXPECT_EQ(run.err, "xevhost: out of memory\n") << c.args[1];
  }
}

// Files from any system: CR alone ends lines in data and formulas, and
// columns named after keywords are renamed so that formulas can reach them.
TEST(XevhostInput, LineEndsOfEverySystemAndKeywordColumns) {
  TempFile csv("cr.csv", "DISTINCT,all\r1,2\r3,4\r"), formulas("cr.formulas", "A = _DISTINCT + _all\rB = A() * 2\r");
  RunResult run = XevhostOk({csv, "-f", formulas, "--set-quantifiers", "--format", "csv"});
  EXPECT_EQ(run.out, "A,B\n3,6\n7,14\n");
}

}  // namespace
