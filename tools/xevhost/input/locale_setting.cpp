#include "input/locale_setting.h"

#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "xev/xev.h"

namespace xevhost {
namespace {

// The character set a category's strings are written in: the C library gives
// them in the encoding of their own locale, which need not be the one of
// LC_CTYPE, and the engine wants code-page bytes. LC_CTYPE is lent to that
// locale for the question: a locale object from newlocale would do as well,
// but freelocale leaves part of it allocated and the leak checker fails.
std::string CodesetOf(int category) {
  std::string ctype = std::setlocale(LC_CTYPE, nullptr);
  std::string name = std::setlocale(category, nullptr);
  std::string codeset;
  if (std::setlocale(LC_CTYPE, name.c_str()) != nullptr) codeset = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, ctype.c_str());
  return codeset;
}

bool ToUtf8(const std::string& text, const std::string& codeset, std::string& utf8) {
  if (IsAscii(text) || codeset == "UTF-8") {
    utf8 = text;
    return true;
  }
  iconv_t cd = iconv_open("UTF-8", codeset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  utf8.assign(text.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(text.data());
  size_t srcLeft = text.size();
  char* dst = utf8.data();
  size_t dstLeft = utf8.size();
  bool done = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  utf8.resize(utf8.size() - dstLeft);
  return done;
}

// Rewrites a field of the record in the code page; false, leaving it as it
// was, when the code page cannot hold it.
template <size_t N>
bool Recode(char (&field)[N], const std::string& codeset, const CodePageConverter& converter) {
  std::string utf8, ansi;
  if (!ToUtf8(field, codeset, utf8) || !converter.ToAnsi(utf8, ansi) || ansi.size() >= N) return false;
  std::memcpy(field, ansi.c_str(), ansi.size() + 1);
  return true;
}

// What setlocale(category, "") reads: LC_ALL, then the category's own
// variable, then LANG.
std::string EnvironmentName(const char* variable) {
  for (const char* name : {"LC_ALL", variable, "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::string(name) + "=" + value;
  }
  return "no locale variable";
}

}  // namespace

bool UseLocale(const std::string& name, const CodePageConverter& converter, std::string& error) {
  bool fromEnvironment = name == "env";
  const char* wanted = fromEnvironment ? "" : name.c_str();
  for (auto [category, variable] : {std::pair{LC_NUMERIC, "LC_NUMERIC"}, std::pair{LC_MONETARY, "LC_MONETARY"}}) {
    if (std::setlocale(category, wanted) != nullptr) continue;
    error = fromEnvironment ? "the environment's " + std::string(variable) + " locale (" +
                                  EnvironmentName(variable) + ") is not on this system"
                            : "unknown locale " + name;
    error += " (locale -a lists the locales this system has)";
    return false;
  }
  XevLocale record;
  LoadLocale(&record);  // the host has set no record yet: this reads the C library's
  std::string numeric = CodesetOf(LC_NUMERIC);
  std::string monetary = CodesetOf(LC_MONETARY);
  if (!Recode(record.decimalPoint, numeric, converter)) std::strcpy(record.decimalPoint, ".");
  // Some locales group with a narrow no-break space, which a single-byte
  // code page lacks: a blank reads the same.
  if (!Recode(record.thousandsSep, numeric, converter)) std::strcpy(record.thousandsSep, " ");
  if (!Recode(record.currencySymbol, monetary, converter)) {
    // The international symbol ("INR ") is plain ASCII.
    std::string international = std::localeconv()->int_curr_symbol;
    while (!international.empty() && international.back() == ' ') international.pop_back();
    std::snprintf(record.currencySymbol, sizeof record.currencySymbol, "%s", international.c_str());
  }
  HostSetLocale(&record);
  return true;
}

}  // namespace xevhost
