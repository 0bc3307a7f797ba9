/*
 * xev.h - the xev formula engine.
 *
 * A host creates an expression context (ExprContext), registers the items that
 * formulas may name (functions, data items, keyword items), parses named
 * formulas, ranges and sets into it, asks dependency questions, evaluates
 * formulas and stores the whole context as a byte block.
 *
 * Conventions, uniform over the API:
 *  - Results are 1 (success) or 0 (failure), a handle or NULL, and -1 for an
 *    ordinal, type or subclass that is not found.
 *  - Strings are zero-terminated bytes of the ANSI code page selected in the
 *    host runtime (xevhost.h); they may hold double-byte characters. Positions
 *    and lengths are byte counts.
 *  - Every value block handed across the API is made by HostAlloc/XEVMemAlloc
 *    and released by HostFree/XEVMemFree by whoever holds it last.
 *  - Callbacks are optional; NULL means none.
 *  - Misuse that can be told cheaply gets the failure result: a NULL context
 *    (XEVDestroyEC and XEVDeleteExpItem give 1), a NULL text (read as ""), a
 *    NULL or too small buffer (notes at each call). A released HEXP cannot be
 *    told from a live one: using it is undefined.
 */
#ifndef XEV_XEV_H
#define XEV_XEV_H

#include "xev/xevhost.h"

/* The version of this header. The library's own version is XEVVersion(); a
 * host built against major version M runs with any library of major M whose
 * minor version is at least the header's. The build reads these three lines. */
#define XEV_VERSION_MAJOR 1
#define XEV_VERSION_MINOR 0
#define XEV_VERSION_PATCH 0
/* One number for comparisons: 10203 is version 1.2.3. */
#define XEV_VERSION_NUMBER (XEV_VERSION_MAJOR * 10000 + XEV_VERSION_MINOR * 100 + XEV_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles and records ------------------------------------------------ */

typedef struct ExprContext ExprContext;  /* an expression context (EC) */
typedef struct ExprRecord* HEXP;         /* one named formula, range or set */
typedef struct XevWindow* XEVHWND;      /* a window of the library's windowing kit (xevui.h) */
typedef struct XevModule* XEVHMODULE;   /* a loaded module */

/* Context flags (fourth argument of XEVCreateEC). */
#define ECF_LIST_ALL_EXPRESSIONS 0x01
#define ECF_NO_STRING_CONCAT 0x02
#define ECF_SET_QUANTIFIERS 0x04
#define ECF_DATE_MINUS_STRING 0x08
#define ECF_STRING_PLUS 0x10
#define ECF_NO_DATE_ARITH 0x20
#define ECF_MODULO 0x40
#define ECF_RANGES_SETS 0x80

/* Data types. Codes of 255 and more are keyword types. */
#define XEV_TYPE_NUMBER 0
#define XEV_TYPE_DATETIME 1
#define XEV_TYPE_STRING 2
#define XEV_TYPE_KEYWORD 3
#define XEV_TYPE_MATCHING 4 /* parameter entries: type of the matching argument */
#define XEV_TYPE_ANY 5      /* parameter entries: any type */

/* Item kinds. */
#define XEV_ITEM_FUNCTION 0
#define XEV_ITEM_DATA 1
#define XEV_ITEM_FORMULA 2 /* dependency queries only; never stored */
#define XEV_ITEM_KEYWORD 3

/* What XEVIsExpRange asks about. */
#define XEV_EXP_SET 1
#define XEV_EXP_RANGE 2

/* Function flags word bits. */
#define XEV_FN_DISTINCT 0x01
#define XEV_FN_ALL 0x02
#define XEV_FN_ANY_BY_NAME 0x04
#define XEV_FN_ANY_BY_NAME_UNLESS_DISTINCT 0x08
#define XEV_FN_DISTINCT_REQUIRED 0x10
#define XEV_FN_ESCAPE 0x20

#pragma pack(push, 1)
/* One parameter entry of a function item. */
typedef struct ExpParam {
  int16_t byName;   /* 1: the argument must be a data item, passed by its name */
  int16_t type;     /* 0 Number, 1 DateTime, 2 String, 3 Keyword, 4/5 Any */
  int16_t subclass; /* required data item subclass, 0 any */
} ExpParam;

/* The item record. On a 32-bit target its fixed part (everything before
 * params) is 85 bytes; here the two pointer fields are pointer-sized. A
 * function record holds paramCount entries (one when paramCount < 0). */
typedef struct ExpItem {
  int16_t kind;            /* 0 function, 1 data item, 3 keyword item */
  int16_t dataType;        /* item type; a function's return type */
  const char* bindingName; /* entry point or getter name; the EC keeps a copy */
  intptr_t boundValue;     /* address the engine calls; 0 asks the resolve callback */
  char name[65];           /* the name written in formulas */
  int16_t paramCount;      /* functions */
  int16_t subclass;        /* data item subclass; keyword aggregate type; function A */
  int16_t subclass2;       /* function B; keyword item: non-zero = case-sensitive name */
  uint16_t flags;          /* function call rules, XEV_FN_* */
  ExpParam params[1];
} ExpItem;
#pragma pack(pop)

/* Size of the fixed part of an ExpItem (85 on a 32-bit target). */
#define XEV_ITEM_FIXED_SIZE ((int32_t)offsetof(ExpItem, params))
/* Size of a record with one parameter entry, as XEVGetExpressionVariable fills. */
#define XEV_ITEM_RECORD_SIZE ((int32_t)sizeof(ExpItem))

/* The error record of the parse entry points. */
typedef struct ExprError {
  uint32_t code; /* 100 to 137, 0 for none; the message is string resource code */
  uint32_t pos;  /* byte offset of the span in the formula text */
  uint32_t len;  /* byte length of the span */
} ExprError;

/* ---- Callbacks ------------------------------------------------------------ */

typedef intptr_t(XEV_CALL* XEVResolveCallback)(const char* name);
typedef void(XEV_CALL* XEVRenameCallback)(ExprContext* ec, const char* oldName, const char* newName);
/* code 1: an expression was destroyed; 2: added by XEVParseString;
 * 3: re-parsed under a new name by XEVParseFormula. */
typedef void(XEV_CALL* XEVNotifyCallback)(ExprContext* ec, int32_t code);
typedef int32_t(XEV_CALL* XEVDelPermissionCallback)(ExprContext* ec, HEXP exp, XEVHWND dialog);
typedef void(XEV_CALL* XEVListValuesCallback)(ExprContext* ec, const char* itemName, XEVHWND listBox,
                                               int32_t firstFill, int32_t* keepEnabled);
typedef int32_t(XEV_CALL* XEVEnumItemsCallback)(ExprContext* ec, const char* name, intptr_t user);
typedef int32_t(XEV_CALL* XEVEnumExpressionsCallback)(ExprContext* ec, HEXP exp, int32_t ordinal);
/* Must destroy exp (XEVDestroyEXP) and return non-zero, or return 0 to refuse. */
typedef int32_t(XEV_CALL* XEVDeleteItemCallback)(ExprContext* ec, HEXP exp, ExpItem* item);
typedef int32_t(XEV_CALL* XEVLoadErrorCallback)(ExprContext* ec, const char* text, ExprError* error);

/* The one calling convention of functions (built-in and host) and of data
 * item value callbacks. size is the size of *result (13 for Number and
 * DateTime, 50 for String and Keyword); a function that needs more grows the
 * block with HostRealloc (HostAlloc when *result is NULL) and stores it back,
 * returning 0 at once when that fails. args holds one value pointer per
 * parameter (13-byte NumberValues or strings); data item callbacks get none. */
typedef int32_t(XEV_CALL* XEVFunctionEntry)(ExprContext* ec, HEXP exp, int32_t size, void** result,
                                            const char* name, void** args);
typedef int32_t(XEV_CALL* XEVDataItemCallback)(ExprContext* ec, HEXP exp, int32_t size, void** result,
                                               const char* name);
/* Arithmetic on Numbers taken over by the host: writes 13 bytes into result. */
typedef int32_t(XEV_CALL* XEVOperatorCallback)(ExprContext* ec, HEXP exp, int32_t zero,
                                               int32_t leftSize, void* left, int32_t rightSize,
                                               void* right, int32_t resultSize, void* result);

/* ---- The library ------------------------------------------------------------- */

/* The version of the library actually loaded, as XEV_VERSION_NUMBER spells it. */
XEV_API uint32_t XEV_CALL XEVVersion(void);

/* ---- Expression context ---------------------------------------------------- */

XEV_API ExprContext* XEV_CALL XEVCreateEC(intptr_t hostValue, XEVResolveCallback resolve,
                                          XEVRenameCallback rename, uint16_t flags);
XEV_API int32_t XEV_CALL XEVDestroyEC(ExprContext* ec);
XEV_API ExprContext* XEV_CALL XEVCopyEC(ExprContext* ec);
XEV_API void XEV_CALL XEVSetHelpPath(ExprContext* ec, const char* path, int32_t helpContext);
XEV_API void XEV_CALL XEVSetDateConvert(ExprContext* ec, const char* first, const char* second,
                                        const char* third, uint16_t options);
XEV_API int32_t XEV_CALL XEVSetDatePicture(ExprContext* ec, const char* first, const char* second,
                                           const char* third);
XEV_API void XEV_CALL XEVSetListValuesCallback(ExprContext* ec, XEVListValuesCallback callback);
XEV_API void XEV_CALL XEVSetDelPermissionCallback(ExprContext* ec, XEVDelPermissionCallback callback);
XEV_API void XEV_CALL XEVSetNotifyCallback(ExprContext* ec, XEVNotifyCallback callback);
XEV_API intptr_t XEV_CALL XEVSetUserLong(ExprContext* ec, intptr_t value);
XEV_API intptr_t XEV_CALL XEVGetUserLong(ExprContext* ec);
XEV_API void* XEV_CALL XEVMemAlloc(uint32_t size);
XEV_API void* XEV_CALL XEVMemRealloc(void* block, uint32_t size);
XEV_API void XEV_CALL XEVMemFree(void* block);
XEV_API uint32_t XEV_CALL XEVMemSize(void* block);

/* ---- Items ------------------------------------------------------------------- */

XEV_API int32_t XEV_CALL XEVAddExpressionItem(ExprContext* ec, const ExpItem* item);
XEV_API void XEV_CALL XEVEnumExpItems(ExprContext* ec, int16_t kind, XEVEnumItemsCallback callback,
                                      intptr_t user);
XEV_API int32_t XEV_CALL XEVGetExpressionVariable(ExprContext* ec, ExpItem* out, const char* name);
XEV_API int32_t XEV_CALL XEVDelExpItemNoCheck(ExprContext* ec, int16_t kind, const char* name);
XEV_API int32_t XEV_CALL XEVDeleteExpItem(ExprContext* ec, int16_t kind, const char* name,
                                          XEVDeleteItemCallback callback);
XEV_API int32_t XEV_CALL XEVDeleteAllECVars(ExprContext* ec);
XEV_API int32_t XEV_CALL XEVRenameExpressionItem(ExprContext* ec, int16_t kind, const char* oldName,
                                                 const char* newName);
XEV_API int32_t XEV_CALL XEVLoadComboBox(ExprContext* ec, int16_t kind, XEVHWND comboBox);

/* ---- Expressions -------------------------------------------------------------- */

XEV_API int32_t XEV_CALL XEVGetExpressionCount(ExprContext* ec);
XEV_API int32_t XEV_CALL XEVGetExpressionTextLength(ExprContext* ec, HEXP exp);
XEV_API int32_t XEV_CALL XEVGetExpressionText(ExprContext* ec, HEXP exp, int32_t size, char* buffer);
XEV_API int32_t XEV_CALL XEVGetExpressionNameLength(ExprContext* ec, HEXP exp);
XEV_API int32_t XEV_CALL XEVGetExpressionName(ExprContext* ec, HEXP exp, int32_t size, char* buffer);
XEV_API HEXP XEV_CALL XEVHEXPFromName(ExprContext* ec, const char* name);
XEV_API HEXP XEV_CALL XEVHEXPFromText(ExprContext* ec, const char* text);
XEV_API HEXP XEV_CALL XEVHEXPFromOrdinal(ExprContext* ec, int32_t ordinal);
XEV_API int32_t XEV_CALL XEVGetExpressionOrdinal(ExprContext* ec, HEXP exp);
XEV_API int16_t XEV_CALL XEVGetExpressionDataType(ExprContext* ec, HEXP exp);
XEV_API int32_t XEV_CALL XEVIsExpRange(ExprContext* ec, HEXP exp, int16_t which);
XEV_API int32_t XEV_CALL XEVIsExpressionSimple(ExprContext* ec, HEXP exp);
XEV_API int32_t XEV_CALL XEVIsExpressionSimpleInput(ExprContext* ec, HEXP exp);
XEV_API int16_t XEV_CALL XEVGetSimpleInputSubClass(ExprContext* ec, HEXP exp);
/* exp of another context: 0, nothing changed. */
XEV_API int32_t XEV_CALL XEVDestroyEXP(ExprContext* ec, HEXP exp);
XEV_API HEXP XEV_CALL XEVCloneExpression(ExprContext* ec, HEXP exp, const char* newName,
                                         uint16_t* typeOut);
XEV_API int32_t XEV_CALL XEVEnumExpressions(ExprContext* ec, XEVEnumExpressionsCallback callback);
XEV_API int32_t XEV_CALL XEVIsExpNameUnique(ExprContext* ec, HEXP skip, const char* name);
XEV_API int32_t XEV_CALL XEVIsExpNameGenerated(ExprContext* ec, HEXP exp);

/* ---- Dependency queries and extended text ---------------------------------------- */

XEV_API int32_t XEV_CALL XEVIsItemUsed(ExprContext* ec, HEXP exp, int16_t kind, const char* name);
XEV_API int32_t XEV_CALL XEVIsNamedFormulaUsed(ExprContext* ec, const char* name);
XEV_API int32_t XEV_CALL XEVIsItemUsedInComplex(ExprContext* ec, const char* name);
XEV_API int32_t XEV_CALL XEVIsFunctionVariableUsed(ExprContext* ec, HEXP exp, const char* function,
                                                   const char* item);
XEV_API int32_t XEV_CALL XEVIsItemAggregate(ExprContext* ec, int16_t kind, const char* name);
XEV_API int32_t XEV_CALL XEVIsAggregateUsed(ExprContext* ec, HEXP exp);
/* Lists what the expression's own text names, in text order: data and
 * keyword items as kind 1, functions as kind 0, named formulas as kind 2.
 * References are not followed, and a name written twice is listed twice, so
 * a host that wants every answer of XEVIsItemUsed for all its formulas gets
 * them in one pass over the formulas. The callback returns 0 to stop.
 * Returns 1 when everything was listed, 0 when the callback stopped the
 * listing, exp or callback is NULL, or memory ran out. */
typedef int32_t(XEV_CALL* XEVEnumReferencesCallback)(ExprContext* ec, int16_t kind, const char* name,
                                                      intptr_t user);
XEV_API int32_t XEV_CALL XEVEnumExpReferences(ExprContext* ec, HEXP exp, XEVEnumReferencesCallback callback,
                                              intptr_t user);
XEV_API int32_t XEV_CALL XEVGetExtendedTextLength(ExprContext* ec, HEXP exp, int32_t expandDates);
XEV_API int32_t XEV_CALL XEVGetExtendedText(ExprContext* ec, HEXP exp, int32_t size, char* buffer,
                                            int32_t expandDates);

/* ---- Parsing ----------------------------------------------------------------------- */

/* existing of another context: NULL, nothing changed in either context. */
XEV_API HEXP XEV_CALL XEVParseFormula(ExprContext* ec, HEXP existing, const char* text,
                                      const char* name, ExprError* error, uint16_t* typeOut);
XEV_API HEXP XEV_CALL XEVParseString(ExprContext* ec, const char* text, const char* name,
                                     ExprError* error, uint16_t* typeOut);
XEV_API int32_t XEV_CALL XEVValidName(ExprContext* ec, const char* name, ExprError* error);
XEV_API int32_t XEV_CALL XEVInputNameIsKeyword(char* destination, const char* name);
/* Copies the message of an error code (100 to 137) into buffer, cut to
 * size - 1 bytes and zero-terminated; returns the bytes copied, 0 (and an
 * empty buffer) for a code without a message. */
XEV_API int32_t XEV_CALL XEVGetErrorMessage(uint32_t code, char* buffer, int32_t size);
/* Shows the error dialog; -1 when it cannot be created. */
XEV_API intptr_t XEV_CALL XEVErrorDisplay(XEVHWND parent, const char* text, const ExprError* error);

/* ---- Evaluation ---------------------------------------------------------------------- */

/* A text result into size bytes: size 0 stores the bytes needed (an
 * int32_t), a smaller size gets the first size bytes, unterminated. An
 * expression is evaluated over the items of the context it is asked in. */
XEV_API int32_t XEV_CALL XEVEvaluateExpression(ExprContext* ec, HEXP exp, int32_t size, void* buffer);
XEV_API int32_t XEV_CALL XEVEvaluateExpressionExt(ExprContext* ec, HEXP exp, int32_t* length,
                                                  void** block);
/* op: 0 '+', 1 '-', 2 '/', 3 '*', 4 '||'; slot: operand type 0 to 3. */
XEV_API int32_t XEV_CALL XEVSetOperatorCallback(ExprContext* ec, int32_t op, int32_t slot,
                                                const char* name);

/* ---- Built-in functions ------------------------------------------------------------------ */

XEV_API int32_t XEV_CALL FUNDefineFunctions(ExprContext* ec);
XEV_API XEVHMODULE XEV_CALL FUNModuleHandle(void);
XEV_API void XEV_CALL FUNWinIniChange(void);
XEV_API int32_t XEV_CALL FUNStrVarResult(void** result, int32_t size, const char* source);

#define XEV_DECLARE_FUNCTION(fn)                                                          \
  XEV_API int32_t XEV_CALL fn(ExprContext* ec, HEXP exp, int32_t size, void** result,      \
                              const char* name, void** args)
XEV_DECLARE_FUNCTION(FUNDateAddDay);
XEV_DECLARE_FUNCTION(FUNDateYear);
XEV_DECLARE_FUNCTION(FUNDateMonth);
XEV_DECLARE_FUNCTION(FUNDateDay);
XEV_DECLARE_FUNCTION(FUNDateHour);
XEV_DECLARE_FUNCTION(FUNDateMinute);
XEV_DECLARE_FUNCTION(FUNDateSecond);
XEV_DECLARE_FUNCTION(FUNDateMonthBegin);
XEV_DECLARE_FUNCTION(FUNDateMonthEnd);
XEV_DECLARE_FUNCTION(FUNDateToStr);
XEV_DECLARE_FUNCTION(FUNDateConstruct);
XEV_DECLARE_FUNCTION(FUNStrMid);
XEV_DECLARE_FUNCTION(FUNStrRight);
XEV_DECLARE_FUNCTION(FUNStrLeft);
XEV_DECLARE_FUNCTION(FUNStrLength);
XEV_DECLARE_FUNCTION(FUNStrRTrim);
XEV_DECLARE_FUNCTION(FUNStrLTrim);
XEV_DECLARE_FUNCTION(FUNStrRepeat);
XEV_DECLARE_FUNCTION(FUNStrPad);
XEV_DECLARE_FUNCTION(FUNStrCompare);
XEV_DECLARE_FUNCTION(FUNStrIFF);
XEV_DECLARE_FUNCTION(FUNStrCase);
XEV_DECLARE_FUNCTION(FUNStrProper);
XEV_DECLARE_FUNCTION(FUNStrReplace);
XEV_DECLARE_FUNCTION(FUNStrScan);
XEV_DECLARE_FUNCTION(FUNStrSpaces);
XEV_DECLARE_FUNCTION(FUNStrToDate);
XEV_DECLARE_FUNCTION(FUNStrToNumber);
XEV_DECLARE_FUNCTION(FUNStrUpper);
XEV_DECLARE_FUNCTION(FUNNumberAbsolute);
XEV_DECLARE_FUNCTION(FUNNumberMod);
XEV_DECLARE_FUNCTION(FUNNumberToStr);
XEV_DECLARE_FUNCTION(FUNNumberToCurrency);
XEV_DECLARE_FUNCTION(FUNNumberCountryFmt);
XEV_DECLARE_FUNCTION(FUNNumberRound);
XEV_DECLARE_FUNCTION(FUNNumberTruncate);
XEV_DECLARE_FUNCTION(FUNStrLower);
XEV_DECLARE_FUNCTION(FUNNumberIFF); /* also exported as FUNDateIFF */
XEV_DECLARE_FUNCTION(FUNDateToStrPicture);
XEV_DECLARE_FUNCTION(FUNNumberToStrPicture);
XEV_DECLARE_FUNCTION(FUNStrTrim);
XEV_DECLARE_FUNCTION(FUNStrTranslate);
XEV_DECLARE_FUNCTION(FUNPower);
XEV_DECLARE_FUNCTION(FUNWeekDay);
XEV_DECLARE_FUNCTION(FUNDateQuarter);
XEV_DECLARE_FUNCTION(FUNDateIFF);

/* ---- The stored context (ECBlock) ----------------------------------------------------------- */

XEV_API uint32_t XEV_CALL XEVGetECBlockSize(ExprContext* ec, int32_t includeExpressions);
/* A size below XEVGetECBlockSize: only the pieces that fit, and a result
 * below that size. At most 32767 data items and 32767 expressions fit the
 * block's 16-bit counts; a host checks before saving more. */
XEV_API int32_t XEV_CALL XEVGetECBlock(ExprContext* ec, int32_t size, void* buffer);
/* A NULL block, a negative length or one that ends inside a section: 0. */
XEV_API int32_t XEV_CALL XEVSetECContents(ExprContext* ec, int32_t length, const void* block,
                                          int32_t loadExpressions, XEVLoadErrorCallback onError);

/* ---- Formula editor ------------------------------------------------------------------------ */

XEV_API HEXP XEV_CALL XEVBuildExpression(XEVHWND owner, ExprContext* ec, HEXP exp, uint16_t maxLength);
XEV_API HEXP XEV_CALL XEVBuildExpressionOfType(XEVHWND owner, ExprContext* ec, HEXP exp,
                                               uint16_t maxLength, int32_t type, const char* itemName);

#ifdef __cplusplus
}
#endif

#endif /* XEV_XEV_H */
