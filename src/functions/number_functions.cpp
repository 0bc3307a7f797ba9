// The built-in number functions: absolute value, remainder, rounding,
// truncation, power, the three-way choice and the number-to-text formats. The
// arithmetic is the host's; what is decided here is how NULL travels and what
// the cases without a natural answer give.
#include <climits>
#include <cmath>

#include "eval/eval.h"
#include "functions/builtin_support.h"
#include "host/exact_power.h"

using namespace xev::functions;

namespace {

// Shared tail of the four text formats: the empty string when the conversion
// refuses the value or the picture.
int32_t FormattedText(void** result, int32_t size, bool converted, char* text) {
  if (!converted) text[0] = '\0';
  return CopyTextResult(result, size, text);
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL FUNNumberAbsolute(ExprContext*, HEXP, int32_t size, void** result,
                                           const char*, void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  *out = *NumberArg(args, 0);
  if (NumberIsNull(out)) return 1;
  NumberValue zero;
  IntToNumber(&zero, 0);
  if (NumberCompare(out, &zero) < 0) NumberNegate(out);
  return 1;
}

// A divisor that is zero as a whole number gives 0, the same answer the '/'
// operator gives for a division by zero, so a report row never fails on it.
// INT_MIN mod -1 is 0 too, computed without the overflowing division.
XEV_API int32_t XEV_CALL FUNNumberMod(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  const NumberValue* a = NumberArg(args, 0);
  const NumberValue* b = NumberArg(args, 1);
  if (NumberIsNull(a) || NumberIsNull(b)) {
    NumberSetNull(out);
    return 1;
  }
  int32_t dividend = NumberToInt(a);
  int32_t divisor = NumberToInt(b);
  int32_t remainder = (divisor == 0 || divisor == -1) ? 0 : dividend % divisor;
  IntToNumber(out, remainder);
  return 1;
}

XEV_API int32_t XEV_CALL FUNNumberRound(ExprContext*, HEXP, int32_t size, void** result,
                                        const char*, void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  const NumberValue* n = NumberArg(args, 0);
  if (NumberIsNull(n)) {
    NumberSetNull(out);
    return 1;
  }
  if (!NumberRound(out, n, IntArg(args, 1))) NumberSetNull(out);
  return 1;
}

XEV_API int32_t XEV_CALL FUNNumberTruncate(ExprContext*, HEXP, int32_t size, void** result,
                                           const char*, void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  *out = *NumberArg(args, 0);
  if (NumberIsNull(out)) return 1;
  NumberTruncate(out, 300, IntArg(args, 1));
  return 1;
}

// Computed in double precision, except whole powers with short exact values
// (10^-2, 1.5^3), which must not differ with the platform's pow. A power
// with no real value (a negative base with a fractional exponent) or beyond
// the Number range gives NULL.
XEV_API int32_t XEV_CALL FUNPower(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                  void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  const NumberValue* base = NumberArg(args, 0);
  const NumberValue* exponent = NumberArg(args, 1);
  *out = *base;
  if (NumberIsNull(base) || NumberIsNull(exponent)) return 1;
  if (xev::host::ExactPower(out, base, exponent)) return 1;
  double x = 0;
  double y = 0;
  NumberToDouble(base, &x);
  NumberToDouble(exponent, &y);
  double power = std::pow(x, y);
  if (!std::isfinite(power) || !DoubleToNumber(out, power)) NumberSetNull(out);
  return 1;
}

XEV_API int32_t XEV_CALL FUNNumberIFF(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 4)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  *out = *NumberArg(args, SignChoice(NumberArg(args, 0)));
  return 1;
}

// One entry point under two names: the choice copies 13 bytes whatever they
// hold, so DateTime values pass through it unchanged. 32-bit Windows
// decorates stdcall names (_FUNNumberIFF@24), which an alias cannot name,
// so there the second name forwards.
#if defined(_WIN32) && !defined(_WIN64)
XEV_API int32_t XEV_CALL FUNDateIFF(ExprContext* ec, HEXP exp, int32_t size, void** result,
                                    const char* name, void** args) {
  return FUNNumberIFF(ec, exp, size, result, name, args);
}
#else
XEV_API int32_t XEV_CALL FUNDateIFF(ExprContext* ec, HEXP exp, int32_t size, void** result,
                                    const char* name, void** args)
    __attribute__((alias("FUNNumberIFF")));
#endif

XEV_API int32_t XEV_CALL FUNNumberToStr(ExprContext*, HEXP, int32_t size, void** result,
                                        const char*, void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  char text[xev::eval::kTextBufferSize] = "";
  xev::eval::NumberToTextFixed(NumberArg(args, 0), IntArg(args, 1), text);
  return CopyTextResult(result, size, text);
}

XEV_API int32_t XEV_CALL FUNNumberToStrPicture(ExprContext*, HEXP, int32_t size, void** result,
                                               const char*, void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  char text[xev::eval::kTextBufferSize] = "";
  bool converted =
      xev::eval::NumberToTextByPicture(NumberArg(args, 0), StringArg(args, 1), text) != 0;
  return FormattedText(result, size, converted, text);
}

XEV_API int32_t XEV_CALL FUNNumberToCurrency(ExprContext*, HEXP, int32_t size, void** result,
                                             const char*, void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  char text[xev::eval::kTextBufferSize] = "";
  bool converted = xev::eval::NumberToCurrencyText(NumberArg(args, 0), text) != 0;
  return FormattedText(result, size, converted, text);
}

XEV_API int32_t XEV_CALL FUNNumberCountryFmt(ExprContext*, HEXP, int32_t size, void** result,
                                             const char*, void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  char text[xev::eval::kTextBufferSize] = "";
  bool converted = xev::eval::NumberToCountryText(NumberArg(args, 0), text) != 0;
  return FormattedText(result, size, converted, text);
}

}  // extern "C"
