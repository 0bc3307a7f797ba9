/*
 * xevhost.h - the host runtime of the xev formula engine.
 *
 * Memory blocks, byte strings in the selected ANSI code page, the 13-byte
 * NumberValue with its decimal arithmetic, the calendar and value formatting.
 * Every block that crosses the engine's API is made by HostAlloc and released
 * by HostFree. All functions are safe to call from C.
 *
 * Conventions: lengths, counts and positions are int32_t byte or character
 * counts; character positions count from 0; negative counts act as 0.
 */
#ifndef XEV_XEVHOST_H
#define XEV_XEVHOST_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#  define XEV_CALL __stdcall
#else
#  define XEV_CALL
#endif

#if defined(_WIN32)
#  ifdef XEV_BUILDING_LIBRARY
#    define XEV_API __declspec(dllexport)
#  else
#    define XEV_API __declspec(dllimport)
#  endif
#else
#  define XEV_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Memory ------------------------------------------------------------ */

/* A zero-filled block of at least size bytes, or NULL when memory is short. */
XEV_API void* XEV_CALL HostAlloc(size_t size);
/* Moves or grows block to size bytes (added bytes are zero); NULL leaves the
 * old block valid. A NULL block behaves as HostAlloc. */
XEV_API void* XEV_CALL HostRealloc(void* block, size_t size);
XEV_API void XEV_CALL HostFree(void* block);
/* Usable size of a block (at least the size asked for); 0 for NULL. */
XEV_API size_t XEV_CALL HostBlockSize(const void* block);

/* Test support: make the n-th allocation from now fail (1 = the next one);
 * 0 switches failure injection off. Counts HostAlloc and growing HostRealloc. */
XEV_API void XEV_CALL HostFailAllocationAfter(int64_t n);
/* Number of allocations (HostAlloc and HostRealloc) made since start-up. */
XEV_API int64_t XEV_CALL HostAllocationCount(void);
/* Number of blocks currently allocated and not yet freed. */
XEV_API int64_t XEV_CALL HostLiveBlockCount(void);

/* ---- Code page and characters ------------------------------------------ */

#define XEV_CP_WESTERN 1252u /* single-byte, the default */
#define XEV_CP_SHIFTJIS 932u /* double-byte */

/* Selects the ANSI code page; returns 1, or 0 for a code page not supported. */
XEV_API int32_t XEV_CALL HostSetCodePage(uint32_t codePage);
XEV_API uint32_t XEV_CALL HostGetCodePage(void);
XEV_API int32_t XEV_CALL HostIsDbcs(void);
XEV_API int32_t XEV_CALL HostIsLeadByte(int32_t byte);
XEV_API int32_t XEV_CALL HostIsLeadBytePtr(const char* p);
/* Non-zero for a letter of the code page (a byte, or lead << 8 | trail). */
XEV_API int32_t XEV_CALL HostIsAlpha(int32_t ch);

/* ---- Strings ------------------------------------------------------------ */

XEV_API int32_t XEV_CALL HostStrLen(const char* s);
XEV_API int32_t XEV_CALL HostStrCharCount(const char* s);
XEV_API char* XEV_CALL HostStrCopyChars(char* dst, const char* src, int32_t n);
XEV_API char* XEV_CALL HostStrLeft(char* dst, const char* src, int32_t n);
XEV_API char* XEV_CALL HostStrRight(char* dst, const char* src, int32_t n);
XEV_API char* XEV_CALL HostStrMid(char* dst, const char* src, int32_t pos, int32_t n);
XEV_API char* XEV_CALL HostStrTrim(char* dst, const char* src);
XEV_API char* XEV_CALL HostStrRTrim(char* dst, const char* src);
XEV_API char* XEV_CALL HostStrSkipBlanks(const char* s);
XEV_API char* XEV_CALL HostStrUpper(char* s);
XEV_API char* XEV_CALL HostStrLower(char* s);
XEV_API char* XEV_CALL HostStrProper(char* dst, const char* src);
XEV_API char* XEV_CALL HostStrReplace(char* dst, const char* src, const char* repl,
                                      int32_t pos, int32_t n);
XEV_API int32_t XEV_CALL HostStrScan(const char* s, const char* pattern);
XEV_API char* XEV_CALL HostStrChr(const char* s, int32_t ch);
XEV_API int32_t XEV_CALL HostStrEqual(const char* a, const char* b);
XEV_API char* XEV_CALL HostStrNormalize(char* s);
XEV_API int32_t XEV_CALL HostStrPrefix(const char* s, const char* prefix, int32_t n);
XEV_API char* XEV_CALL HostStrAdvance(const char* s, int32_t n);
/* Copies the next token of s into word and returns the bytes of s consumed up
 * to the token's end (leading delimiters included). A token starting with the
 * quote character runs to the matching quote. Returns 0 at the end of s. */
XEV_API int32_t XEV_CALL HostNextToken(char* word, const char* s, const char* leadDelims,
                                       const char* trailDelims, int32_t reserved1,
                                       int32_t quote, int32_t reserved2);

/* ---- NumberValue --------------------------------------------------------- */

/* Byte 0 is the length of the value, 0 meaning NULL; the other bytes hold the
 * decimal digits in the runtime's own encoding. At least 22 significant digits,
 * exponents from 10^-99 to 10^99. */
#define XEV_NUMBER_SIZE 13
typedef struct NumberValue {
  unsigned char bytes[XEV_NUMBER_SIZE];
} NumberValue;

XEV_API int32_t XEV_CALL NumberIsNull(const NumberValue* n);
XEV_API int32_t XEV_CALL NumberIsZero(const NumberValue* n);
XEV_API void XEV_CALL NumberSetNull(NumberValue* n);
XEV_API void XEV_CALL NumberSetZero(NumberValue* n);
XEV_API int32_t XEV_CALL NumberToInt(const NumberValue* n);
XEV_API void XEV_CALL IntToNumber(NumberValue* dst, int32_t value);
XEV_API void XEV_CALL LongToNumber(NumberValue* dst, int64_t value);
XEV_API int32_t XEV_CALL NumberCompare(const NumberValue* a, const NumberValue* b);
XEV_API void XEV_CALL NumberNegate(NumberValue* n);
/* dst = a op b; return 1, or 0 when the result left the exponent range. */
XEV_API int32_t XEV_CALL NumberAdd(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberSub(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberMul(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberDiv(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberRound(NumberValue* dst, const NumberValue* src, int32_t places);
XEV_API int32_t XEV_CALL NumberTruncate(NumberValue* n, int32_t mode, int32_t places);
XEV_API int32_t XEV_CALL NumberToDouble(const NumberValue* n, double* out);
XEV_API int32_t XEV_CALL DoubleToNumber(NumberValue* dst, double value);
/* Reads a plain decimal text (digits, optional point, optional exponent,
 * optional leading sign); 1 when the whole text was a number. */
XEV_API int32_t XEV_CALL HostStrToNumber(NumberValue* dst, const char* text);
/* Writes the shortest plain text that reads back to n ("" for NULL);
 * returns the byte length, or -1 when size is too small. */
XEV_API int32_t XEV_CALL HostNumberToStr(const NumberValue* n, char* buffer, int32_t size);

/* ---- Calendar ------------------------------------------------------------ */

typedef struct DateParts {
  int32_t month;    /* 1 to 12 */
  int32_t day;      /* 1 to 31 */
  int32_t year;
  int32_t hour;     /* 0 to 23 */
  int32_t minute;   /* 0 to 59 */
  int32_t second;   /* 0 to 59 */
  int32_t fraction; /* microseconds, 0 to 999999 */
} DateParts;

/* Fills bytes 1 to 12 of a NumberValue and returns its length byte. */
XEV_API uint8_t XEV_CALL DatePartsToNumber(unsigned char* digits, const DateParts* parts);
/* Reads a DateTime value given its bytes 1 to 12 and its length byte;
 * returns 1, or 0 (parts zeroed) for NULL. */
XEV_API int32_t XEV_CALL NumberToDateParts(const unsigned char* digits, uint8_t length,
                                           DateParts* parts);
XEV_API int32_t XEV_CALL DatePartsToDayNumber(const DateParts* parts);
XEV_API void XEV_CALL DayNumberToDateParts(int32_t day, DateParts* parts);

#ifdef __cplusplus
}
#endif

#include "xev/host_format.h"

#endif /* XEV_XEVHOST_H */
