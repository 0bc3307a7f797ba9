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
 * Functions that write a string into dst return dst; dst must have room for
 * the result and its terminator, and may be the same as src. A NULL src
 * counts as "". The selected code page and the locale are process-wide
 * settings: set them at start-up, before formulas are parsed.
 */
#ifndef XEV_XEVHOST_H
#define XEV_XEVHOST_H

#include <stddef.h>
#include <stdint.h>

/* XEV_CALL: the calling convention of every function and callback of the API
 * (the callee pops the arguments on 32-bit Windows, the platform's own
 * elsewhere). Declare callbacks with it. XEV_API: exported from the library. */
#if defined(_WIN32) && !defined(_WIN64)
#  define XEV_CALL __stdcall
#else
#  define XEV_CALL
#endif

/* A host linking the static library defines XEV_STATIC: its calls then bind
   directly, not through a DLL's import table. */
#if defined(_WIN32) && defined(XEV_STATIC)
#  define XEV_API
#elif defined(_WIN32)
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

/* Every block that crosses the API comes from these functions. Blocks are
 * not interchangeable with malloc/free. */

/* A zero-filled block of at least size bytes, or NULL when memory is short. */
XEV_API void* XEV_CALL HostAlloc(size_t size);
/* Moves or grows block to size bytes (added bytes are zero); NULL leaves the
 * old block valid. A NULL block behaves as HostAlloc. */
XEV_API void* XEV_CALL HostRealloc(void* block, size_t size);
/* Frees a block of HostAlloc or HostRealloc; NULL is ignored. */
XEV_API void XEV_CALL HostFree(void* block);
/* The size last asked for the block (HostAlloc or HostRealloc); 0 for NULL. */
XEV_API size_t XEV_CALL HostBlockSize(const void* block);

/* Test support, counted per thread: make the n-th allocation of this thread
 * from now fail (1 = the next one); 0 switches failure injection off. Counts
 * HostAlloc and growing HostRealloc. */
XEV_API void XEV_CALL HostFailAllocationAfter(int64_t n);
/* Number of allocations (HostAlloc and HostRealloc) this thread has made. */
XEV_API int64_t XEV_CALL HostAllocationCount(void);
/* Blocks this thread allocated minus blocks it freed. */
XEV_API int64_t XEV_CALL HostLiveBlockCount(void);

/* ---- Code page and characters ------------------------------------------ */

#define XEV_CP_WESTERN 1252u /* single-byte, the default */
#define XEV_CP_SHIFTJIS 932u /* double-byte */
#define XEV_CP_UTF8 65001u   /* UTF-8: characters of one to four bytes */

/* Selects the code page in which every string is read (XEV_CP_*); returns 1,
 * or 0 (and nothing changes) for a code page not supported. The code page is
 * one setting for the whole process. Under XEV_CP_UTF8 positions and lengths
 * of the API stay byte offsets, while characters (what the string functions
 * count and the editor steps over) are code points; names may use letters,
 * marks and digits of any script. Stored context blocks hold the bytes of
 * their texts as they are and do not record the code page: load a block under
 * the code page it was written with. */
XEV_API int32_t XEV_CALL HostSetCodePage(uint32_t codePage);
/* The selected code page. */
XEV_API uint32_t XEV_CALL HostGetCodePage(void);
/* Non-zero when the selected code page has double-byte characters. */
XEV_API int32_t XEV_CALL HostIsDbcs(void);
/* Non-zero when byte (0 to 255) starts a double-byte character; always 0
 * under XEV_CP_UTF8 (use HostCharLength). */
XEV_API int32_t XEV_CALL HostIsLeadByte(int32_t byte);
/* HostIsLeadByte of *p; 0 for NULL. */
XEV_API int32_t XEV_CALL HostIsLeadBytePtr(const char* p);
/* Non-zero for a letter of the code page (a byte, or lead << 8 | trail; a
 * code point under XEV_CP_UTF8). */
XEV_API int32_t XEV_CALL HostIsAlpha(int32_t ch);
/* Byte length of the character at p in the selected code page, reading at
 * most available bytes (a negative available: up to the terminator). 0 at the
 * terminator, when available is 0 or p is NULL; 2 for a lead byte with its
 * trail; 1 to 4 for a well-formed UTF-8 sequence; 1 for any other byte, so a
 * broken sequence is stepped over byte by byte and never swallows a good
 * character after it. Every walk over characters in the engine, its editor
 * and its edit controls steps by this length. */
XEV_API int32_t XEV_CALL HostCharLength(const char* p, int32_t available);
/* 1 when the length bytes of text (a negative length: up to the terminator)
 * are well-formed UTF-8, whatever code page is selected; otherwise 0, with the
 * byte offset of the first bad sequence in *badOffset and its length (the
 * bytes that began a character and broke off, at least 1) in *badLength.
 * Overlong forms, surrogates (U+D800 to U+DFFF), code points above U+10FFFF,
 * stray continuation bytes and sequences cut short are bad. Either out
 * pointer may be NULL; both are 0 for a good text. A host reading user data
 * checks it with this before handing it over under XEV_CP_UTF8. */
XEV_API int32_t XEV_CALL HostCheckText(const char* text, int32_t length, int32_t* badOffset,
                                       int32_t* badLength);

/* ---- Strings ------------------------------------------------------------ */

/* Characters are single bytes, lead and trail byte in a double-byte code
 * page, or a UTF-8 sequence (a code point) under XEV_CP_UTF8, where a byte of
 * a broken sequence is a character of its own (HostCharLength); the character
 * functions never split one. Blanks are space and tab. */

/* Byte length; 0 for NULL. */
XEV_API int32_t XEV_CALL HostStrLen(const char* s);
/* Number of characters; 0 for NULL. */
XEV_API int32_t XEV_CALL HostStrCharCount(const char* s);
/* Copies the first n characters of src into dst. */
XEV_API char* XEV_CALL HostStrCopyChars(char* dst, const char* src, int32_t n);
/* The first n characters of src (the same as HostStrCopyChars). */
XEV_API char* XEV_CALL HostStrLeft(char* dst, const char* src, int32_t n);
/* The last n characters of src (all of it when it is shorter). */
XEV_API char* XEV_CALL HostStrRight(char* dst, const char* src, int32_t n);
/* n characters of src from character pos (0 the first); what lies beyond the
 * end is left out. */
XEV_API char* XEV_CALL HostStrMid(char* dst, const char* src, int32_t pos, int32_t n);
/* src without leading and trailing blanks. */
XEV_API char* XEV_CALL HostStrTrim(char* dst, const char* src);
/* src without trailing blanks. */
XEV_API char* XEV_CALL HostStrRTrim(char* dst, const char* src);
/* The first non-blank of s (a pointer into s); NULL for NULL. */
XEV_API char* XEV_CALL HostStrSkipBlanks(const char* s);
/* Turns the letters of s to upper case in place; returns s. Under
 * XEV_CP_UTF8 by the full Unicode mapping (the sharp s becomes "SS") for every
 * character whose mapping takes no more bytes than it does; the few others
 * stay, since s cannot grow (StrUpper, which can, maps them too). */
XEV_API char* XEV_CALL HostStrUpper(char* s);
/* Turns the letters of s to lower case in place; returns s. Under XEV_CP_UTF8
 * as HostStrUpper, with capital sigma in its final form at a word's end. */
XEV_API char* XEV_CALL HostStrLower(char* s);
/* src with the first letter of every word upper case and the others lower
 * case. An apostrophe after two or more letters stays inside the word, after
 * one it starts a new one: "o'neil's dog" becomes "O'Neil's Dog". Under
 * XEV_CP_UTF8 letters of any script, by title case, with marks belonging to
 * the letter before them; never longer than src, as HostStrUpper. */
XEV_API char* XEV_CALL HostStrProper(char* dst, const char* src);
/* src with its n characters from pos replaced by repl (inserted when n is 0);
 * dst needs room for the longer of the two texts. */
XEV_API char* XEV_CALL HostStrReplace(char* dst, const char* src, const char* repl,
                                      int32_t pos, int32_t n);
/* The character position of the first occurrence of pattern in s, or -1; an
 * empty pattern is found at 0. Case-sensitive. */
XEV_API int32_t XEV_CALL HostStrScan(const char* s, const char* pattern);
/* The first character ch in s (a byte, or lead << 8 | trail; a code point
 * under XEV_CP_UTF8), or NULL; 0 finds the terminator. */
XEV_API char* XEV_CALL HostStrChr(const char* s, int32_t ch);
/* 1 when the two strings are byte for byte equal (NULL equals ""), else 0. */
XEV_API int32_t XEV_CALL HostStrEqual(const char* a, const char* b);
/* Removes control characters (below 32, and 127) and trailing blanks from s
 * in place; returns s. Ordinary names pass unchanged. */
XEV_API char* XEV_CALL HostStrNormalize(char* s);
/* 1 when the first n characters of s and prefix are equal (both may end
 * before), else 0. */
XEV_API int32_t XEV_CALL HostStrPrefix(const char* s, const char* prefix, int32_t n);
/* The address n characters into s, or its terminator when s is shorter. */
XEV_API char* XEV_CALL HostStrAdvance(const char* s, int32_t n);
/* Copies the next token of s into word (which needs room for it) and returns
 * the bytes of s consumed up to the token's end (leading delimiters
 * included). Tokens are separated by the characters of leadDelims (skipped
 * before a token) and end at one of trailDelims; a token starting with the
 * quote character (0 none) runs to the matching quote. Returns 0 at the end
 * of s. The reserved arguments are not read; pass 0. */
XEV_API int32_t XEV_CALL HostNextToken(char* word, const char* s, const char* leadDelims,
                                       const char* trailDelims, int32_t reserved1,
                                       int32_t quote, int32_t reserved2);

/* ---- NumberValue --------------------------------------------------------- */

/* The size in bytes of a Number or DateTime value. */
#define XEV_NUMBER_SIZE 13
/* A decimal number, the value of Number and DateTime items and formulas. Byte
 * 0 is the length of the value, 0 meaning NULL; the other bytes hold the
 * decimal digits in the runtime's own encoding, which hosts never read
 * directly. At least 22 significant digits, exponents from 10^-99 to 10^99. */
typedef struct NumberValue {
  unsigned char bytes[XEV_NUMBER_SIZE];
} NumberValue;

/* A NumberValue is also how a DateTime travels: the seconds since the
 * calendar's day 0 (docs/dates.md); DatePartsToNumber and NumberToDateParts
 * convert. Results may be written over an operand (dst == a). */

/* 1 for a NULL value (byte 0 is 0), else 0. */
XEV_API int32_t XEV_CALL NumberIsNull(const NumberValue* n);
/* 1 for a zero that is not NULL, else 0. */
XEV_API int32_t XEV_CALL NumberIsZero(const NumberValue* n);
/* Makes n NULL. */
XEV_API void XEV_CALL NumberSetNull(NumberValue* n);
/* Makes n zero. */
XEV_API void XEV_CALL NumberSetZero(NumberValue* n);
/* The whole part of n, cut towards zero and held to the int32_t range; 0 for
 * NULL. */
XEV_API int32_t XEV_CALL NumberToInt(const NumberValue* n);
/* dst = value. */
XEV_API void XEV_CALL IntToNumber(NumberValue* dst, int32_t value);
/* dst = value (exactly, all 19 digits). */
XEV_API void XEV_CALL LongToNumber(NumberValue* dst, int64_t value);
/* -1, 0 or 1 as a is less than, equal to or greater than b; NULL is less than
 * every number and equal to NULL. */
XEV_API int32_t XEV_CALL NumberCompare(const NumberValue* a, const NumberValue* b);
/* Changes the sign of n in place; NULL and zero stay as they are. */
XEV_API void XEV_CALL NumberNegate(NumberValue* n);
/* dst = a op b, rounded to 22 significant digits half away from zero; return
 * 1, or 0 when an operand is NULL (dst is then NULL), when dividing by zero
 * (dst NULL) or when the result left the exponent range. */
XEV_API int32_t XEV_CALL NumberAdd(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberSub(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberMul(NumberValue* dst, const NumberValue* a, const NumberValue* b);
XEV_API int32_t XEV_CALL NumberDiv(NumberValue* dst, const NumberValue* a, const NumberValue* b);
/* dst = src rounded half away from zero to places decimals (negative places
 * round to tens, hundreds, ...); 0 and dst NULL for a NULL src. */
XEV_API int32_t XEV_CALL NumberRound(NumberValue* dst, const NumberValue* src, int32_t places);
/* Cuts n in place towards zero to places decimals; mode is not read. 0 for
 * NULL. */
XEV_API int32_t XEV_CALL NumberTruncate(NumberValue* n, int32_t mode, int32_t places);
/* *out = the double nearest to n; returns 1, or 0 (and 0.0) for NULL. */
XEV_API int32_t XEV_CALL NumberToDouble(const NumberValue* n, double* out);
/* dst = the decimal the double stands for (its shortest text that reads back);
 * 0 and dst NULL for an infinity or NaN. */
XEV_API int32_t XEV_CALL DoubleToNumber(NumberValue* dst, double value);
/* Reads a plain decimal text (digits, optional point, optional exponent,
 * optional leading sign); 1 when the whole text was a number, else 0 and dst
 * NULL. No grouping, no locale: see FormatParseNumber for those. */
XEV_API int32_t XEV_CALL HostStrToNumber(NumberValue* dst, const char* text);
/* Writes the shortest plain text that reads back to n ("" for NULL) into
 * buffer; returns its byte length, or -1 (buffer untouched) when size bytes do
 * not hold it and its terminator. 32 bytes always do. */
XEV_API int32_t XEV_CALL HostNumberToStr(const NumberValue* n, char* buffer, int32_t size);

/* ---- Calendar ------------------------------------------------------------ */

/* A date and time of day in the proleptic Gregorian calendar. */
typedef struct DateParts {
  int32_t month;    /* 1 to 12 */
  int32_t day;      /* 1 to 31 */
  int32_t year;
  int32_t hour;     /* 0 to 23 */
  int32_t minute;   /* 0 to 59 */
  int32_t second;   /* 0 to 59 */
  int32_t fraction; /* microseconds, 0 to 999999 */
} DateParts;

/* Makes a DateTime value: fills bytes 1 to 12 of a NumberValue (pass
 * value.bytes + 1) and returns its length byte (store it in value.bytes[0]).
 * Parts out of their range are carried over (month 13 is January of the next
 * year); never fails. */
XEV_API uint8_t XEV_CALL DatePartsToNumber(unsigned char* digits, const DateParts* parts);
/* Reads a DateTime value given its bytes 1 to 12 and its length byte;
 * returns 1, or 0 (parts zeroed) for NULL or a value outside the calendar. */
XEV_API int32_t XEV_CALL NumberToDateParts(const unsigned char* digits, uint8_t length,
                                           DateParts* parts);
/* The day number of the date in parts (the time is not read): days since
 * 2 January of year 1 (day 0); (day + 2) % 7 is the weekday, 0 Sunday. Held to
 * the int32_t range. */
XEV_API int32_t XEV_CALL DatePartsToDayNumber(const DateParts* parts);
/* Sets year, month and day of parts from a day number; the time fields are
 * left as they are. */
XEV_API void XEV_CALL DayNumberToDateParts(int32_t day, DateParts* parts);

#ifdef __cplusplus
}
#endif

#include "xev/host_format.h"

#endif /* XEV_XEVHOST_H */
