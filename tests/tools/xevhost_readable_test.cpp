// End-to-end tests of the output settings a reader picks: a date picture in
// every format, the locale of money and grouping in formulas, and the one
// warning when input text loses characters to the code page.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "xevhost_run.h"

namespace {

using namespace xevhost_test;

// Sets an environment variable for the runs of one test, which inherit it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(XevhostDateFormat, ThePictureWritesEveryDateInEveryFormat) {
  TempFile csv("pictured.csv", "When,Amount\n2024-01-31,1\n2024-02-01 16:45:07,2\n,3\n");
  std::vector<std::string> args = {csv, "--formula", "w=When", "--date-format", "ddd dd MMM yyyy 'at' HH:mm"};
  auto run = [&](const char* format) {
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--format", format});
    return Xevhost(all);
  };
  // A picture says exactly what to write: midnight shows when it asks for it.
  EXPECT_EQ(run("csv").out, "w\nWed 31 Jan 2024 at 00:00\nThu 01 Feb 2024 at 16:45\n\n");
  EXPECT_EQ(run("json").out,
            "[\n  {\"w\": \"Wed 31 Jan 2024 at 00:00\"},\n  {\"w\": \"Thu 01 Feb 2024 at 16:45\"},\n  {\"w\": null}\n]\n");
  EXPECT_EQ(run("table").out, "w\n------------------------\nWed 31 Jan 2024 at 00:00\nThu 01 Feb 2024 at 16:45\n\n");

  RunResult bad = Xevhost({csv, "--formula", "w=When", "--date-format", "yyyy-mm-DD"});
  EXPECT_EQ(bad.status, 64);
  EXPECT_EQ(Lines(bad.err).size(), 1u) << bad.err;
}

TEST(XevhostDateFormat, ALoadedDocumentWritesTheSameIsoDates) {
  TempFile csv("stamps.csv", "When\n2024-02-29\n2024-12-31 23:59:58\n");
  TempFile doc("stamps.xev");
  RunResult saved = Xevhost({csv, "--format", "json", "--save", doc, "--formula", "Next=When + 1 DAY",
                             "--formula", "Back=When - 1 MONTH"});
  ASSERT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(saved.out,
            "[\n  {\"Next\": \"2024-03-01\", \"Back\": \"2024-01-29\"},\n"
            "  {\"Next\": \"2025-01-01T23:59:58\", \"Back\": \"2024-11-30T23:59:58\"}\n]\n");
  RunResult loaded = XevhostOk({csv, "--format", "json", "--load", doc});
  EXPECT_EQ(loaded.out, saved.out);
}

// A locale of the C library built for the test into a folder of its own, as
// a fresh machine may have none but C and POSIX installed.
class XevhostLocale : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new std::string(testing::TempDir() + "xevhost_locales_" + std::to_string(getpid()));
    std::string command = "mkdir -p " + *folder_ + " && localedef -i de_DE -f UTF-8 " + *folder_ +
                          "/de_DE.UTF-8 >/dev/null 2>&1 && localedef -i fr_FR -f UTF-8 " + *folder_ +
                          "/fr_FR.UTF-8 >/dev/null 2>&1";
    built_ = std::system(command.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    std::system(("rm -rf " + *folder_).c_str());
    delete folder_;
  }
  void SetUp() override {
    if (!built_) GTEST_SKIP() << "localedef cannot build de_DE and fr_FR here (the locales package is missing)";
  }

  static inline std::string* folder_ = nullptr;
  static inline bool built_ = false;
};

const std::vector<std::string> kMoney = {"orders.csv", "--format", "csv", "--limit", "1", "--formula",
                                         "c=NumberToCurrency(1234567.5)", "--formula",
                                         "g=NumberCountryFmt(-1234567.25)", "--formula", "plain=Price * 1000"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST_F(XevhostLocale, MoneyAndGroupingFollowTheLocaleAskedForButTheReportsOwnNumbersDoNot) {
  ScopedEnv path("LOCPATH", folder_->c_str());
  RunResult run = XevhostOk(With(kMoney, {"--locale", "de_DE.UTF-8"}));
  EXPECT_EQ(run.out, "c,g,plain\n\"1.234.567,50 \u20ac\",\"-1.234.567,25\",9500\n");

  // Its narrow no-break space is no character of code page 1252: a blank
  // groups instead, and no '?' shows.
  run = Xevhost(With(kMoney, {"--locale", "fr_FR.UTF-8", "--code-page", "1252"}));
  EXPECT_EQ(run.out, "c,g,plain\n\"1 234 567,50 \u20ac\",\"-1 234 567,25\",9500\n");
  // Nor is the euro sign one of code page 932: its international name is.
  run = Xevhost(With(kMoney, {"--locale", "de_DE.UTF-8", "--code-page", "932"}));
  EXPECT_EQ(run.out, "c,g,plain\n\"1.234.567,50 EUR\",\"-1.234.567,25\",9500\n");

  // The environment is read when asked for, and only then.
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8");
  ScopedEnv monetary("LC_MONETARY", "fr_FR.UTF-8");
  EXPECT_EQ(Xevhost(With(kMoney, {"--locale", "env"})).out,
            "c,g,plain\n\"1.234.567,50 \u20ac\",\"-1.234.567,25\",9500\n");
  EXPECT_EQ(Xevhost(kMoney).out, "c,g,plain\n1234567.50,-1234567.25,9500\n");
}

TEST(XevhostLocaleErrors, AnUnknownLocaleIsOneLine) {
  RunResult run = Xevhost(With(kMoney, {"--locale", "xx_NOWHERE"}));
  EXPECT_EQ(run.status, 64);
  EXPECT_EQ(run.err, "xevhost: unknown locale xx_NOWHERE (locale -a lists the locales this system has)\n");
  EXPECT_EQ(run.out, "");

  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv monetary("LC_MONETARY", "xx_NOWHERE");
  run = Xevhost(With(kMoney, {"--locale", "env"}));
  EXPECT_EQ(run.status, 64);
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_NE(run.err.find("LC_MONETARY=xx_NOWHERE"), std::string::npos) << run.err;
}

TEST(XevhostReplacedCharacters, OneWarningNamesTheFirstPlace) {
  // 商 (three bytes of UTF-8) is no character of code page 1252.
  const std::string kChar = "\xE5\x95\x86";
  TempFile csv("lossy.csv", "Name,n\nplain,1\n" + kChar + "a,2\nb" + kChar + ",3\n");
  RunResult run = XevhostOk({csv, "--code-page", "1252", "--format", "csv", "--formula", "x=Name", "--formula", "y=Name || '!'"});
  EXPECT_EQ(run.out, "x,y\nplain,plain!\n?a,?a!\nb?,b?!\n");
  EXPECT_EQ(run.err, "xevhost: warning: " + csv.path +
                         ":3: a character that code page 1252 cannot hold was replaced by '?' "
                         "(the first such character; later ones are not told)\n");

  // Read again by the passes of a grouped report, and after a formulas file
  // that loses one too: still once, at the first place read.
  TempFile formulas("lossy.formulas", "# " + kChar + " in a comment is never used\nx = Name\ny = '" + kChar + "'\n");
  run = XevhostOk({csv, "--code-page", "1252", "-f", formulas, "--group-by", "n", "--formula", "s=Count(*)"});
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_NE(run.err.find(formulas.path + ":3: a character"), std::string::npos) << run.err;

  // Where the code page holds the character, nothing is said.
  run = XevhostOk({csv, "--code-page", "932", "--formula", "x=Name"});
  EXPECT_EQ(run.err, "");
}

}  // namespace
