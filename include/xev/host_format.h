/*
 * host_format.h - value formatting and parsing of the xev host runtime:
 * the format descriptor, text forms of dates, times and numbers, pictures and
 * the locale record. Included by xevhost.h.
 *
 * Use: FormatInit(&desc), then set kind, the text to read or the output buffer,
 * a picture if any, the value, and (for locale-dependent output) the locale
 * fields, typically with FormatUseLocale. Date and time texts and pictures are
 * described in docs/dates.md and docs/pictures.md.
 */
#ifndef XEV_HOST_FORMAT_H
#define XEV_HOST_FORMAT_H

#include "xev/xevhost.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Conversion kinds of a format descriptor. */
#define XEV_FORMAT_DATE 1      /* a date */
#define XEV_FORMAT_TIME 2      /* a time of day */
#define XEV_FORMAT_DATETIME 3  /* a date with an optional time of day */
#define XEV_FORMAT_NUMBER 4    /* a number */
#define XEV_FORMAT_CURRENCY 5  /* an amount of money */
#define XEV_FORMAT_PICTURE 6   /* a number written by a picture */

/* Where the currency symbol goes. */
#define XEV_CURRENCY_BEFORE 0        /* $1.50 */
#define XEV_CURRENCY_AFTER 1         /* 1.50$ */
#define XEV_CURRENCY_BEFORE_SPACE 2  /* $ 1.50 */
#define XEV_CURRENCY_AFTER_SPACE 3   /* 1.50 $ */

/* The locale record: how numbers and amounts are written in the user's
 * country. Strings are zero-terminated; an empty thousands separator or
 * grouping means no grouping. grouping lists group sizes from the right, each
 * byte one group, the last repeating ("\3" groups by three). */
typedef struct XevLocale {
  char decimalPoint[8];
  char thousandsSep[8];
  char grouping[8];
  char currencySymbol[16];
  int32_t currencyPlacement; /* XEV_CURRENCY_* */
  int32_t currencyDigits;    /* decimals of an amount, 0 to 9 */
} XevLocale;

/* The format descriptor. FormatInit sets kind 3, decimals -1, useLocale 0, no
 * text, output or picture, a NULL number, zeroed date parts and a neutral
 * locale ("." decimal point, "," thousands separator grouping by three, "$"
 * before the amount, 2 currency decimals). */
typedef struct FormatDesc {
  int32_t kind;            /* XEV_FORMAT_* */
  const char* text;        /* the text FormatParse and FormatParseNumber read */
  char* output;            /* where FormatOutput and FormatNumber write */
  int32_t outputSize;      /* bytes at output, terminator included */
  const char* picture;     /* NULL or "": the kind's default form */
  NumberValue number;      /* kinds 4 to 6 */
  DateParts date;          /* kinds 1 to 3 */
  int32_t decimals;        /* kind 4: digits after the point; -1 as many as needed */
  int32_t useLocale;       /* 0: point ".", no grouping, whatever the locale fields */
  XevLocale locale;
} FormatDesc;

/* Sets every field of desc to the defaults above. */
XEV_API void XEV_CALL FormatInit(FormatDesc* desc);
/* Reads desc->text as a value of desc->kind into desc->date (kinds 1 to 3) or
 * desc->number (kinds 4 to 6). Returns 1 when the whole text was accepted. */
XEV_API int32_t XEV_CALL FormatParse(FormatDesc* desc);
/* Writes desc->date as a date, time or both (kinds 1 to 3) by desc->picture or
 * the kind's default form. Returns 1, or 0 (output "") when the picture is
 * refused or the text does not fit. Out-of-range parts are normalised first. */
XEV_API int32_t XEV_CALL FormatOutput(FormatDesc* desc);
/* Writes desc->number as kind 4, 5 or 6. A NULL number writes "" and gives 1.
 * Returns 0 (output "") when the picture is refused or the text does not fit. */
XEV_API int32_t XEV_CALL FormatNumber(FormatDesc* desc);
/* Reads desc->text as a number into desc->number. 1 when accepted. */
XEV_API int32_t XEV_CALL FormatParseNumber(FormatDesc* desc);
/* 1 when picture is a usable date picture, 0 when it is refused. */
XEV_API int32_t XEV_CALL FormatCheckPicture(const char* picture);
/* 1 when desc->picture is a usable number picture, 0 when it is refused. */
XEV_API int32_t XEV_CALL FormatPreparePicture(FormatDesc* desc);
/* The larger of width and the widest text desc->kind can write with
 * desc->picture (bytes, terminator not counted). */
XEV_API int32_t XEV_CALL FormatMeasure(const FormatDesc* desc, int32_t width);

/* Fills record with the current locale: the one the host set, or else the C
 * library's current locale (localeconv), with POSIX values where it says
 * nothing. */
XEV_API void XEV_CALL LoadLocale(XevLocale* record);
/* Sets the locale record the formatters use from now on; NULL goes back to the
 * C library's locale. */
XEV_API void XEV_CALL HostSetLocale(const XevLocale* record);
/* Tells the runtime that system settings changed: the next formatting call
 * that uses the locale reads it again. */
XEV_API void XEV_CALL HostLocaleChanged(void);
/* Copies the locale record into desc->locale and sets useLocale, loading the
 * record first when it has not been loaded since start-up or the last change. */
XEV_API void XEV_CALL FormatUseLocale(FormatDesc* desc);

#ifdef __cplusplus
}
#endif

#endif /* XEV_HOST_FORMAT_H */
