// The locale record of the formatting conversions: how the user's country
// writes numbers and amounts.
//
// It is read from the C library's current locale at first use, because a host
// typically sets its locale after loading the library; a host may also set a
// record of its own. After HostLocaleChanged (the engine's FUNWinIniChange
// calls it) the next formatting call reads the locale again, so a change of
// system settings shows without restarting the host.
//
// Formatting runs on every thread that evaluates. Each thread keeps its own
// copy of the record and reads the shared one again, under its lock, only
// when a setting has changed since (a version number says so).
#include <atomic>
#include <climits>
#include <clocale>
#include <cstring>
#include <mutex>

#include "xev/host_format.h"

namespace {

// The one place that holds the runtime's locale state.
struct LocaleState {
  std::mutex lock;                   // guards hostSet and hostRecord
  std::atomic<uint32_t> version{1};  // moves on with every change of setting
  bool hostSet = false;              // the host gave a record of its own
  XevLocale hostRecord{};
};

LocaleState& State() {
  static LocaleState state;
  return state;
}

// What one thread's formatters use, and the version it was read at (0: never).
struct ThreadLocale {
  XevLocale current;
  uint32_t version;
};
thread_local ThreadLocale t_locale{};

void Changed(LocaleState& state) { state.version.fetch_add(1, std::memory_order_release); }

template <size_t N>
void CopyField(char (&dst)[N], const char* src, const char* fallback) {
  const char* s = (src != nullptr && *src != '\0') ? src : fallback;
  std::strncpy(dst, s, N - 1);
  dst[N - 1] = '\0';
}

template <size_t N>
void Terminate(char (&field)[N]) {
  field[N - 1] = '\0';
}

void FromCLibrary(XevLocale* record) {
  *record = XevLocale{};
  const std::lconv* lc = std::localeconv();
  if (lc == nullptr) {
    CopyField(record->decimalPoint, ".", ".");
    record->currencyDigits = 2;
    return;
  }
  CopyField(record->decimalPoint, lc->decimal_point, ".");
  CopyField(record->thousandsSep, lc->thousands_sep, "");
  CopyField(record->grouping, lc->grouping, "");
  CopyField(record->currencySymbol, lc->currency_symbol, "");
  // CHAR_MAX means "not given by this locale"; POSIX gives nothing, so the
  // symbol (if any) goes before the amount without a space.
  const bool after = lc->p_cs_precedes == 0;
  const bool space = lc->p_sep_by_space == 1 || lc->p_sep_by_space == 2;
  record->currencyPlacement = after ? (space ? XEV_CURRENCY_AFTER_SPACE : XEV_CURRENCY_AFTER)
                                    : (space ? XEV_CURRENCY_BEFORE_SPACE : XEV_CURRENCY_BEFORE);
  const int digits = lc->frac_digits;
  record->currencyDigits = (digits == CHAR_MAX || digits < 0 || digits > 9) ? 2 : digits;
}

}  // namespace

extern "C" XEV_API void XEV_CALL LoadLocale(XevLocale* record) {
  if (record == nullptr) return;
  LocaleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.hostSet) {
    *record = state.hostRecord;
    return;
  }
  FromCLibrary(record);
}

extern "C" XEV_API void XEV_CALL HostSetLocale(const XevLocale* record) {
  LocaleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.hostSet = record != nullptr;
  if (record != nullptr) {
    state.hostRecord = *record;
    Terminate(state.hostRecord.decimalPoint);
    Terminate(state.hostRecord.thousandsSep);
    Terminate(state.hostRecord.grouping);
    Terminate(state.hostRecord.currencySymbol);
    if (state.hostRecord.decimalPoint[0] == '\0') CopyField(state.hostRecord.decimalPoint, ".", ".");
    if (state.hostRecord.currencyDigits < 0 || state.hostRecord.currencyDigits > 9) {
      state.hostRecord.currencyDigits = 2;
    }
  }
  Changed(state);
}

extern "C" XEV_API void XEV_CALL HostLocaleChanged(void) { Changed(State()); }

extern "C" XEV_API void XEV_CALL FormatUseLocale(FormatDesc* desc) {
  if (desc == nullptr) return;
  uint32_t version = State().version.load(std::memory_order_acquire);
  if (t_locale.version != version) {
    LoadLocale(&t_locale.current);
    t_locale.version = version;
  }
  desc->locale = t_locale.current;
  desc->useLocale = 1;
}
