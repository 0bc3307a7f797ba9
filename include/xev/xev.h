/*
 * xev.h - the xev formula engine.
 *
 * A host creates an expression context (ExprContext, "EC"), registers the
 * items that formulas may name (functions, data items, keyword items), parses
 * named formulas, ranges and sets into it, asks dependency questions,
 * evaluates formulas and stores the whole context as a byte block. The
 * language that users write is described in docs/language.md; examples/ holds
 * three small hosts.
 *
 * Conventions, uniform over the API:
 *  - Results are 1 (success) or 0 (failure), a handle or NULL, and -1 for an
 *    ordinal, type or subclass that is not found. No function throws or
 *    aborts. An allocation that fails ends the call with the result its
 *    comment gives for "memory is short" and leaves what was there before;
 *    a function whose comment does not speak of memory allocates nothing.
 *  - Strings are zero-terminated bytes of the code page selected in the host
 *    runtime (xevhost.h); they may hold double-byte characters or, under
 *    XEV_CP_UTF8, UTF-8 sequences. Positions and lengths are byte counts and
 *    never fall inside a character. Names are compared exactly (case-sensitive)
 *    unless a function says otherwise.
 *  - Strings and records passed in are only read during the call; the engine
 *    keeps copies of what it needs. Strings and records it hands out (item
 *    names in callbacks, binding names) belong to the EC and stay valid until
 *    the item or expression is deleted or the EC destroyed.
 *  - Every value block handed across the API is made by HostAlloc/XEVMemAlloc
 *    and released by HostFree/XEVMemFree by whoever holds it last.
 *  - Callbacks are optional; NULL means none. The engine calls them on the
 *    thread that made the call into it.
 *  - The buffer rule of the text getters (XEVGetExpressionText, ...Name): at
 *    most size bytes are written, always zero-terminated (the text is cut to
 *    size - 1 bytes); the result is the text's length, or size when the text
 *    was cut. A size below 1 writes nothing and gives 0.
 *  - Misuse that can be told cheaply gets the failure result: a NULL context
 *    (XEVDestroyEC and XEVDeleteExpItem give 1), a NULL text (read as ""), a
 *    NULL or too small buffer, an expression of another context where it
 *    would change that context. A released HEXP cannot be told from a live
 *    one: using it is undefined.
 */

/*
 * Threads. Different contexts may be used on different threads at the same
 * time: parsing, name checks, evaluation, dependency queries, extended text,
 * copying, writing and loading blocks, and adding or deleting items all keep
 * their working state per thread. One context is used by one thread at a
 * time; a host that shares a context between threads serialises the calls
 * itself (or gives each thread a copy, XEVCopyEC). Host memory blocks may be
 * freed on another thread than the one that made them; the allocation
 * counters and the injected failure of HostFailAllocationAfter count per
 * thread. The editor and the dialogs run on one user-interface thread.
 * Settings of the host runtime (code page, locale) are process-wide; change
 * them while no other thread formats or scans.
 */
#ifndef XEV_XEV_H
#define XEV_XEV_H

#include "xev/xevhost.h"

/* The version of this header. The library that is loaded reports its own with
 * XEVVersion(). Within one major version the ABI only grows: a host built
 * against 1.m runs with any library 1.n where n >= m. The build reads these
 * three lines for the library's version and file names. */
#define XEV_VERSION_MAJOR 1
#define XEV_VERSION_MINOR 0
#define XEV_VERSION_PATCH 0
/* One number for comparisons: 10203 is version 1.2.3. */
#define XEV_VERSION_NUMBER (XEV_VERSION_MAJOR * 10000 + XEV_VERSION_MINOR * 100 + XEV_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles and records ------------------------------------------------ */

/* An expression context: items, expressions, callbacks and settings. Made by
 * XEVCreateEC or XEVCopyEC, ended by XEVDestroyEC; one thread at a time. */
typedef struct ExprContext ExprContext;
/* One named formula, range or set of an EC. Valid until XEVDestroyEXP, a
 * deletion through XEVDeleteExpItem, or XEVDestroyEC. */
typedef struct ExprRecord* HEXP;
/* A window of the library's windowing kit (xevui.h). */
typedef struct XevWindow* XEVHWND;
/* The library's module, as FUNModuleHandle gives it. */
typedef struct XevModule* XEVHMODULE;

/* Context flags (fourth argument of XEVCreateEC); they change the language. */
#define ECF_LIST_ALL_EXPRESSIONS 0x01 /* the formula editor lists every expression */
#define ECF_NO_STRING_CONCAT 0x02     /* '||' is refused on Strings */
#define ECF_SET_QUANTIFIERS 0x04      /* DISTINCT and ALL are words of the language */
#define ECF_DATE_MINUS_STRING 0x08    /* DateTime - String parses and gives days */
#define ECF_STRING_PLUS 0x10          /* '+' joins Strings */
#define ECF_NO_DATE_ARITH 0x20        /* no operators on DateTimes, no date unit words */
#define ECF_MODULO 0x40               /* '%' is read (it computes no value) */
#define ECF_RANGES_SETS 0x80          /* ranges and sets; date constants checked while read */

/* Data types. Codes of 255 and more are keyword types of the host's choosing. */
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

/* What XEVIsExpRange asks about (its which argument). */
#define XEV_EXP_SET 1
#define XEV_EXP_RANGE 2

/* Function flags word bits (ExpItem.flags). An aggregate is a function with a
 * byName parameter. */
#define XEV_FN_DISTINCT 0x01                    /* accepts DISTINCT (with ECF_SET_QUANTIFIERS) */
#define XEV_FN_ALL 0x02                         /* accepts ALL */
#define XEV_FN_ANY_BY_NAME 0x04                 /* any expression may stand for a byName parameter */
#define XEV_FN_ANY_BY_NAME_UNLESS_DISTINCT 0x08 /* the same, unless DISTINCT is given */
#define XEV_FN_DISTINCT_REQUIRED 0x10           /* must be called with DISTINCT (or "(*)") */
#define XEV_FN_ESCAPE 0x20                      /* wrapped as " {fn " ... " } " in extended text */

#pragma pack(push, 1)
/* One parameter entry of a function item. */
typedef struct ExpParam {
  int16_t byName;   /* 1: the argument must be a data item and the function
                       receives its name, not its value (an aggregate) */
  int16_t type;     /* XEV_TYPE_*: 0 Number, 1 DateTime, 2 String, a keyword
                       type (255 and more), 4 the type of the matching
                       argument, 5 any type (5 also admits "Name(*)") */
  int16_t subclass; /* byName parameters: the data item subclass required, 0 any */
} ExpParam;

/* The item record that XEVAddExpressionItem copies and XEVGetExpressionVariable
 * fills. On a 32-bit target its fixed part (everything before params) is 85
 * bytes; here the two pointer fields are pointer-sized. A function with
 * paramCount n > 1 needs a record of XEV_ITEM_FIXED_SIZE + n * sizeof(ExpParam)
 * bytes (allocate it, or wrap ExpItem in a union with room); one with a
 * negative paramCount has one entry. Set unused fields to 0. */
typedef struct ExpItem {
  int16_t kind;            /* XEV_ITEM_FUNCTION, XEV_ITEM_DATA or XEV_ITEM_KEYWORD */
  int16_t dataType;        /* XEV_TYPE_* of a data or keyword item; a function's result type
                              (XEV_TYPE_MATCHING: the type of its last argument) */
  const char* bindingName; /* the name of the code behind the item, for the resolve
                              callback and the stored block; may be NULL. The EC keeps a
                              copy; records it hands out point to that copy */
  intptr_t boundValue;     /* the address the engine calls: an XEVFunctionEntry or an
                              XEVDataItemCallback; 0 asks the EC's resolve callback with
                              bindingName. Keyword items have none */
  char name[65];           /* the name written in formulas, at most 64 bytes; not checked
                              for validity or uniqueness (the first of two equal names wins) */
  int16_t paramCount;      /* functions: number of parameter entries */
  int16_t subclass;        /* data item: its subclass (0 none), matched against
                              ExpParam.subclass; keyword item: the type an aggregate over it
                              gives; function: A, where the repeating parameters begin (0 none) */
  int16_t subclass2;       /* function: B, how many arguments the repeating group may add
                              beyond A (0 no limit); keyword item: non-zero makes its name
                              case-sensitive */
  uint16_t flags;          /* functions: XEV_FN_* */
  ExpParam params[1];      /* functions: paramCount entries */
} ExpItem;
#pragma pack(pop)

/* Size of the fixed part of an ExpItem (85 on a 32-bit target). */
#define XEV_ITEM_FIXED_SIZE ((int32_t)offsetof(ExpItem, params))
/* Size of a record with one parameter entry, as XEVGetExpressionVariable fills. */
#define XEV_ITEM_RECORD_SIZE ((int32_t)sizeof(ExpItem))

/* The error record of the parse entry points. The codes, their messages and a
 * formula causing each are listed in docs/language.md. */
typedef struct ExprError {
  uint32_t code; /* 100 to 137, 0 for none; XEVGetErrorMessage gives its text */
  uint32_t pos;  /* byte offset in the formula text of the part the error is about */
  uint32_t len;  /* its byte length; 0 marks a position only. Some errors about the
                    whole formula give 0 and the text's length, or 1000 */
} ExprError;

/* The error codes of ExprError, named as their messages name them
 * (XEVGetErrorMessage); docs/language.md gives a formula that causes each.
 * 104 is the error dialogs' caption, not an error. */
#define XEV_ERR_TYPENUM 100
#define XEV_ERR_PARM 101
#define XEV_ERR_VAR 102
#define XEV_ERR_FUNC 103
#define XEV_ERR_NUMPARMSHI 105
#define XEV_ERR_GENERAL 106
#define XEV_ERR_NAME 107
#define XEV_ERR_INPUT 108
#define XEV_ERR_SYNTAX 109
#define XEV_ERR_UNKNOWNCHAR 110
#define XEV_ERR_OPERATORNUM 111
#define XEV_ERR_MAXTOKEN 112
#define XEV_ERR_OPERATORSTR 113
#define XEV_ERR_OPERATORDATE 114
#define XEV_ERR_TYPESTR 115
#define XEV_ERR_TYPEDATE 116
#define XEV_ERR_NUMPARMSLO 117
#define XEV_ERR_PARMNUM 118
#define XEV_ERR_PARMSTR 119
#define XEV_ERR_PARMDATE 120
#define XEV_ERR_MEMORY 121
#define XEV_ERR_TOCOMPLEX 122
#define XEV_ERR_INVALIDDATE 123
#define XEV_ERR_EXPPARMS 124
#define XEV_ERR_RECURSIVE 125
#define XEV_ERR_DUPNAME 126
#define XEV_ERR_EXPDATATYPE 127
#define XEV_ERR_TYPENUMDATE 128
#define XEV_ERR_KEYWORD 129
#define XEV_ERR_MISKEYWORD 130
#define XEV_ERR_MEMLOW 131
#define XEV_ERR_OPERATORKEYWORD 132
#define XEV_ERR_PARMKEYWORD 133
#define XEV_ERR_RANGETYPE 134
#define XEV_ERR_BETWEEN 135
#define XEV_ERR_IMBEDDEDRANGE 136
#define XEV_ERR_SUBCLASS 137

/* ---- Callbacks ------------------------------------------------------------ */

/* Turns a name into the address the engine will call: an item's binding name
 * when the item is added with boundValue 0 (XEVAddExpressionItem, and every
 * data item of a loaded block), or an operator callback's name
 * (XEVSetOperatorCallback, and the names of a loaded block). Returns the
 * XEVFunctionEntry, XEVDataItemCallback or XEVOperatorCallback cast to
 * intptr_t, or 0 when the name means nothing to the host (the item then yields
 * no value when evaluated). name belongs to the engine. */
typedef intptr_t(XEV_CALL* XEVResolveCallback)(const char* name);
/* Told when XEVParseFormula saves an existing expression under another name,
 * before the notify callback hears code 3. The names belong to the engine and
 * are valid during the call only. */
typedef void(XEV_CALL* XEVRenameCallback)(ExprContext* ec, const char* oldName, const char* newName);
/* Told of changes to the EC's expression list, after they happened:
 * code 1 an expression was destroyed (XEVDestroyEXP); 2 one was added by
 * XEVParseString (also by XEVCopyEC, XEVCloneExpression and loading);
 * 3 XEVParseFormula saved an existing one under a new name (told only when
 * the EC has a rename callback as well). */
typedef void(XEV_CALL* XEVNotifyCallback)(ExprContext* ec, int32_t code);
/* Asked by the formula editor before it deletes exp; dialog is the editor's
 * window. Non-zero permits the deletion. */
typedef int32_t(XEV_CALL* XEVDelPermissionCallback)(ExprContext* ec, HEXP exp, XEVHWND dialog);
/* Asked by the formula editor's value list to fill listBox with values of the
 * data item itemName; firstFill is non-zero the first time for that list. The
 * callback may set *keepEnabled to 0 to disable the editor's value button. */
typedef void(XEV_CALL* XEVListValuesCallback)(ExprContext* ec, const char* itemName, XEVHWND listBox,
                                               int32_t firstFill, int32_t* keepEnabled);
/* Called by XEVEnumExpItems for each item with the item's name (the EC's) and
 * the host's user value. The result is not used; every item is visited. */
typedef int32_t(XEV_CALL* XEVEnumItemsCallback)(ExprContext* ec, const char* name, intptr_t user);
/* Called by XEVEnumExpressions for each expression with its ordinal; return
 * non-zero to go on, 0 to stop. */
typedef int32_t(XEV_CALL* XEVEnumExpressionsCallback)(ExprContext* ec, HEXP exp, int32_t ordinal);
/* Offered each expression that uses an item being deleted (XEVDeleteExpItem),
 * dependents before what they depend on. item is the EC's record of the item.
 * Must destroy exp (XEVDestroyEXP) and return non-zero, or return 0 to stop the
 * deletion, which then keeps the item and every expression not yet destroyed. */
typedef int32_t(XEV_CALL* XEVDeleteItemCallback)(ExprContext* ec, HEXP exp, ExpItem* item);
/* Told by XEVSetECContents of a stored formula that cannot be loaded, with its
 * text and error (both the engine's, valid during the call). The result is not
 * used: loading stops after a reported error. */
typedef int32_t(XEV_CALL* XEVLoadErrorCallback)(ExprContext* ec, const char* text, ExprError* error);

/* The one calling convention of functions (built-in and host). Called during
 * an evaluation, on the evaluating thread.
 *  ec, exp  the EC and the expression being evaluated (exp may be a formula
 *           that the evaluated one refers to).
 *  size     the size of the block *result: 13 for a Number or DateTime result,
 *           50 for a String or Keyword result.
 *  result   the result block, made by the engine with HostAlloc. Write a
 *           13-byte NumberValue, or a zero-terminated string. A function that
 *           needs more room grows the block with HostRealloc (HostAlloc when
 *           *result is NULL) and stores the new block back; FUNStrVarResult does
 *           that for a string. When growing fails, return 0 at once, leaving
 *           the old block in *result.
 *  name     the name the function was called by.
 *  args     one pointer per parameter (not per argument written): a 13-byte
 *           NumberValue for Number and DateTime, a zero-terminated string for
 *           String and keyword parameters, the data item's name for byName
 *           parameters. The blocks are the engine's; only read them. A slot may
 *           be NULL when its argument could not be computed, or was not
 *           written; arguments beyond paramCount do not reach the function.
 *           args is NULL for a call without arguments.
 * Return non-zero for success; 0 makes the call, and as a rule the formula,
 * yield no value. */
typedef int32_t(XEV_CALL* XEVFunctionEntry)(ExprContext* ec, HEXP exp, int32_t size, void** result,
                                            const char* name, void** args);
/* A data item's value: the same convention without arguments. name is the
 * item's name, so one callback can serve many items. Return 0 for "no value"
 * (the formula then yields none); a NULL NumberValue (NumberSetNull) is a value. */
typedef int32_t(XEV_CALL* XEVDataItemCallback)(ExprContext* ec, HEXP exp, int32_t size, void** result,
                                               const char* name);
/* Arithmetic on Numbers taken over by the host (XEVSetOperatorCallback): the
 * engine calls it for '+', '-', '*' or '/' of two Numbers with zero = 0, the
 * sizes 13, the two operands (which may be NULL NumberValues; they are passed
 * as they are) and a 13-byte result block to fill. The result is not used: an
 * operator callback cannot fail, so write a NULL value when there is none. */
typedef int32_t(XEV_CALL* XEVOperatorCallback)(ExprContext* ec, HEXP exp, int32_t zero,
                                               int32_t leftSize, void* left, int32_t rightSize,
                                               void* right, int32_t resultSize, void* result);

/* ---- The library ------------------------------------------------------------- */

/* The version of the library actually loaded, as XEV_VERSION_NUMBER spells it
 * (10203 is 1.2.3). Compare XEVVersion() / 10000 with XEV_VERSION_MAJOR. */
XEV_API uint32_t XEV_CALL XEVVersion(void);

/* ---- Expression context ---------------------------------------------------- */

/* Creates an empty EC.
 *  hostValue  the host's value for the context, kept unchanged: the window that
 *             owns the dialogs the engine shows for it (loading, errors).
 *  resolve    turns binding and operator callback names into addresses (may be NULL).
 *  rename     told when a formula is saved under a new name (may be NULL).
 *  flags      ECF_* bits.
 * Returns the EC, or NULL when memory is short. End it with XEVDestroyEC. */
XEV_API ExprContext* XEV_CALL XEVCreateEC(intptr_t hostValue, XEVResolveCallback resolve,
                                          XEVRenameCallback rename, uint16_t flags);
/* Releases the EC with every item, expression and string it owns; every HEXP
 * of it becomes invalid. No callback is called. Returns 1, also for NULL. */
XEV_API int32_t XEV_CALL XEVDestroyEC(ExprContext* ec);
/* A new EC with the same hostValue, callbacks, flags, user long, date settings
 * and items (bound values kept, resolve not asked again); every expression is
 * parsed again into it by XEVParseString, under its name (the notify callback
 * hears code 2 for each). Expressions that no longer parse are left out
 * silently. Not copied: the operator callbacks, the help path and the counters
 * of generated names. Returns the copy, or NULL for a NULL ec or when the copy
 * itself cannot be made; when memory runs short later, the copy is returned
 * with what could be copied. Release it with XEVDestroyEC. */
XEV_API ExprContext* XEV_CALL XEVCopyEC(ExprContext* ec);
/* Keeps a help file path (copied when it is shorter than 520 bytes, else the
 * old path stays) and a help context number for the host; the engine reads
 * neither. */
XEV_API void XEV_CALL XEVSetHelpPath(ExprContext* ec, const char* path, int32_t helpContext);
/* Sets the three format strings that wrap rewritten date literals in extended
 * text (XEVGetExtendedText), for dates, dates with time and times in that
 * order; each holds one "%s" for the date. A NULL string keeps the one set
 * before. options bit 0x02 switches the wrapping on; bit 0x01 is read by the
 * editor's value list. Call XEVSetDatePicture afterwards, so that the width of
 * extended texts counts the new strings. A copy that cannot be made leaves its
 * position empty; nothing is reported. */
XEV_API void XEV_CALL XEVSetDateConvert(ExprContext* ec, const char* first, const char* second,
                                        const char* third, uint16_t options);
/* Sets the date pictures (docs/pictures.md) with which extended text rewrites
 * date literals: for dates, dates with time, and times. NULL or "" leaves that
 * kind of literal as written. Replaces all three; returns 1 (0 for a NULL ec).
 * A picture that cannot be copied is dropped without a report. */
XEV_API int32_t XEV_CALL XEVSetDatePicture(ExprContext* ec, const char* first, const char* second,
                                           const char* third);
/* Installs or (with NULL) removes the callback of the editor's value list. */
XEV_API void XEV_CALL XEVSetListValuesCallback(ExprContext* ec, XEVListValuesCallback callback);
/* Installs or removes the callback the editor asks before deleting a formula. */
XEV_API void XEV_CALL XEVSetDelPermissionCallback(ExprContext* ec, XEVDelPermissionCallback callback);
/* Installs or removes the callback told of changes to the expression list. */
XEV_API void XEV_CALL XEVSetNotifyCallback(ExprContext* ec, XEVNotifyCallback callback);
/* Stores a value of the host's own in the EC (a pointer to the current row,
 * say) and returns the one stored before; 0 for a NULL ec. Callbacks read it
 * back with XEVGetUserLong. */
XEV_API intptr_t XEV_CALL XEVSetUserLong(ExprContext* ec, intptr_t value);
/* The host's value stored with XEVSetUserLong; 0 for a NULL ec or a new EC. */
XEV_API intptr_t XEV_CALL XEVGetUserLong(ExprContext* ec);
/* HostAlloc for hosts that link only xev.h's names: a zero-filled block, or
 * NULL when memory is short. Blocks the engine hands back (evaluation results)
 * are freed with XEVMemFree or HostFree. */
XEV_API void* XEV_CALL XEVMemAlloc(uint32_t size);
/* Grows or moves a block (HostRealloc); NULL when memory is short, and the old
 * block stays valid then. Unlike HostRealloc, a NULL block gives NULL and
 * allocates nothing. */
XEV_API void* XEV_CALL XEVMemRealloc(void* block, uint32_t size);
/* Frees a block of XEVMemAlloc or HostAlloc; NULL is ignored. */
XEV_API void XEV_CALL XEVMemFree(void* block);
/* The usable size of a block (at least the size asked for); 0 for NULL. */
XEV_API uint32_t XEV_CALL XEVMemSize(void* block);

/* ---- Items ------------------------------------------------------------------- */

/* Adds a copy of item (kind XEV_ITEM_FUNCTION, XEV_ITEM_DATA or
 * XEV_ITEM_KEYWORD; see ExpItem for the fields and the record's size) to the
 * EC. The EC copies bindingName too; when boundValue is 0 and the EC has a
 * resolve callback, it asks that with the binding name. Nothing checks the
 * name: formulas find the first item of a name. Items added after formulas
 * were parsed are found by the formulas parsed from then on.
 * Returns 1, or 0 for a NULL ec or item, another kind, or when memory is short
 * (the EC is then as before; a binding name that cannot be copied leaves the
 * item without one). */
XEV_API int32_t XEV_CALL XEVAddExpressionItem(ExprContext* ec, const ExpItem* item);
/* Calls callback (ec, item name, user) for each item of kind (0, 1 or 3), in
 * the order they were added. Nothing happens for another kind or a NULL
 * callback. */
XEV_API void XEV_CALL XEVEnumExpItems(ExprContext* ec, int16_t kind, XEVEnumItemsCallback callback,
                                      intptr_t user);
/* Copies the record of the data item called name into out, which must hold
 * XEV_ITEM_RECORD_SIZE bytes (an ExpItem); its parameter entry is zeroed and
 * its bindingName points to the EC's copy (do not free it). Returns 1, or 0
 * when there is no such data item or an argument is NULL. */
XEV_API int32_t XEV_CALL XEVGetExpressionVariable(ExprContext* ec, ExpItem* out, const char* name);
/* Deletes the first item of kind (0, 1 or 3) called name, without looking at
 * the formulas that use it (they yield no value from then on). Returns 1, or 0
 * when there is no such item. */
XEV_API int32_t XEV_CALL XEVDelExpItemNoCheck(ExprContext* ec, int16_t kind, const char* name);
/* Deletes an item together with the expressions that use it: kind 1 a data
 * item, any other kind a function. Each expression using it, directly or
 * through formulas, is offered to callback, those that other expressions use
 * after their users are gone; the callback destroys it and returns non-zero.
 * Returns the last callback result (1 when none was needed) with the item
 * deleted, or 0 when a callback refused (or none was given while formulas use
 * the item): the item and the expressions not yet destroyed stay. 1 for a
 * NULL ec or name; 0, item kept, when memory is short. */
XEV_API int32_t XEV_CALL XEVDeleteExpItem(ExprContext* ec, int16_t kind, const char* name,
                                          XEVDeleteItemCallback callback);
/* Deletes every data item, without looking at formulas. Returns 1, or 0 when
 * the EC never had a data item. */
XEV_API int32_t XEV_CALL XEVDeleteAllECVars(ExprContext* ec);
/* Renames an item (kind 0 a function, any other kind a data item) and every
 * use of it: each formula's text has the name replaced where it stands as a
 * whole word outside strings, and its parse tree follows. newName must fit the
 * name field (64 bytes); a longer one is cut. A text that cannot be grown for
 * the new name keeps the old one. Returns 0 in every case (check with
 * XEVGetExpressionVariable). */
XEV_API int32_t XEV_CALL XEVRenameExpressionItem(ExprContext* ec, int16_t kind, const char* oldName,
                                                 const char* newName);
/* Adds the name of every item of kind (0, 1 or 3) to a combo box of the
 * windowing kit (xevui.h). Returns the number of names added; 0 for another
 * kind or none. */
XEV_API int32_t XEV_CALL XEVLoadComboBox(ExprContext* ec, int16_t kind, XEVHWND comboBox);

/* ---- Expressions -------------------------------------------------------------- */

/* An EC keeps its expressions in a list in the order they were added; the
 * position is the ordinal, and the ordinals after a destroyed expression move
 * down by one. Where the HEXP alone tells the answer, ec is not read. */

/* The number of expressions; 0 for a NULL ec. */
XEV_API int32_t XEV_CALL XEVGetExpressionCount(ExprContext* ec);
/* The byte length of the formula text, terminator not counted; 0 for NULL. */
XEV_API int32_t XEV_CALL XEVGetExpressionTextLength(ExprContext* ec, HEXP exp);
/* Copies the formula text, as it was written, into buffer by the buffer rule
 * (see the top of this file). 0 for a NULL exp. */
XEV_API int32_t XEV_CALL XEVGetExpressionText(ExprContext* ec, HEXP exp, int32_t size, char* buffer);
/* The byte length of the expression's name; 0 for NULL. */
XEV_API int32_t XEV_CALL XEVGetExpressionNameLength(ExprContext* ec, HEXP exp);
/* Copies the expression's name into buffer by the buffer rule; -1 and nothing
 * written for a NULL exp. */
XEV_API int32_t XEV_CALL XEVGetExpressionName(ExprContext* ec, HEXP exp, int32_t size, char* buffer);
/* The expression of that exact name, or NULL. */
XEV_API HEXP XEV_CALL XEVHEXPFromName(ExprContext* ec, const char* name);
/* The first expression whose formula text equals text exactly, or NULL. */
XEV_API HEXP XEV_CALL XEVHEXPFromText(ExprContext* ec, const char* text);
/* The expression at ordinal (0 to count - 1), or NULL. */
XEV_API HEXP XEV_CALL XEVHEXPFromOrdinal(ExprContext* ec, int32_t ordinal);
/* The ordinal of exp in ec, or -1 for NULL or an expression of another EC. */
XEV_API int32_t XEV_CALL XEVGetExpressionOrdinal(ExprContext* ec, HEXP exp);
/* The expression's data type (XEV_TYPE_NUMBER, _DATETIME, _STRING, or a
 * keyword type); a range or set has the type of its values. -1 for NULL. */
XEV_API int16_t XEV_CALL XEVGetExpressionDataType(ExprContext* ec, HEXP exp);
/* which XEV_EXP_SET: 1 when exp is a set; XEV_EXP_RANGE: 1 when it is a range;
 * 0 otherwise, for other values of which and for NULL. */
XEV_API int32_t XEV_CALL XEVIsExpRange(ExprContext* ec, HEXP exp, int16_t which);
/* 1 when the formula is a single constant (a number, string or date), else 0. */
XEV_API int32_t XEV_CALL XEVIsExpressionSimple(ExprContext* ec, HEXP exp);
/* 1 when the formula is a single data item name, else 0. */
XEV_API int32_t XEV_CALL XEVIsExpressionSimpleInput(ExprContext* ec, HEXP exp);
/* The subclass of the data item that a single-data-item formula names; -1 for
 * any other formula, an unknown item or NULL. */
XEV_API int16_t XEV_CALL XEVGetSimpleInputSubClass(ExprContext* ec, HEXP exp);
/* Destroys an expression: releases its tree, text and name and removes it from
 * the list, then tells the notify callback (code 1). Refused (0) while another
 * expression uses it (destroy the users first, see XEVIsNamedFormulaUsed) or
 * when exp is not in ec. Returns 1 when destroyed, also for a NULL exp. */
XEV_API int32_t XEV_CALL XEVDestroyEXP(ExprContext* ec, HEXP exp);
/* Parses exp's text again into a new expression of ec (through XEVParseString,
 * so the notify callback hears code 2), named newName when that is given and
 * free, else with a generated name. typeOut receives the data type (may be
 * NULL). Returns the new HEXP, or NULL when the text no longer parses or
 * memory is short. */
XEV_API HEXP XEV_CALL XEVCloneExpression(ExprContext* ec, HEXP exp, const char* newName,
                                         uint16_t* typeOut);
/* Calls callback for each expression in ordinal order until it returns 0.
 * Returns the last callback result; 0 when there is no expression or no
 * callback. */
XEV_API int32_t XEV_CALL XEVEnumExpressions(ExprContext* ec, XEVEnumExpressionsCallback callback);
/* 1 when name could name a new expression: no expression other than skip (may
 * be NULL) and no function has that exact name. Data item names are not
 * looked at. 1 for a NULL ec or name. */
XEV_API int32_t XEV_CALL XEVIsExpNameUnique(ExprContext* ec, HEXP skip, const char* name);
/* 1 when the expression's name looks generated: the formula stem ("Formula")
 * followed by digits only. Generated range and set names ("Range1", "Set1")
 * give 0. */
XEV_API int32_t XEV_CALL XEVIsExpNameGenerated(ExprContext* ec, HEXP exp);

/* ---- Dependency queries and extended text ---------------------------------------- */

/* The queries follow references to named formulas: a formula that uses a
 * formula that uses an item uses the item. Names compare exactly. They change
 * nothing and answer 0 for NULL arguments, and 0 when memory is short. */

/* 1 when exp uses the item of kind XEV_ITEM_FUNCTION, XEV_ITEM_DATA or
 * XEV_ITEM_FORMULA (a named formula) called name; keyword items are never
 * found. */
XEV_API int32_t XEV_CALL XEVIsItemUsed(ExprContext* ec, HEXP exp, int16_t kind, const char* name);
/* 1 when any expression of ec uses the named formula name. */
XEV_API int32_t XEV_CALL XEVIsNamedFormulaUsed(ExprContext* ec, const char* name);
/* 1 when an expression that is more than a single constant or data item name
 * uses the data item name. */
XEV_API int32_t XEV_CALL XEVIsItemUsedInComplex(ExprContext* ec, const char* name);
/* 1 when exp calls function with the data item item written directly as one
 * of its arguments (Sum(Price) for function "Sum", item "Price"). */
XEV_API int32_t XEV_CALL XEVIsFunctionVariableUsed(ExprContext* ec, HEXP exp, const char* function,
                                                   const char* item);
/* 1 when kind is XEV_ITEM_FUNCTION and the function name is an aggregate (has
 * a byName parameter). */
XEV_API int32_t XEV_CALL XEVIsItemAggregate(ExprContext* ec, int16_t kind, const char* name);
/* 1 when exp calls an aggregate function. */
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
/* Extended text: the formula text for a host that hands it on to another
 * language. Every reference to a named formula, Name(), is replaced by
 * "(" + that formula's text + ")", recursively. With expandDates non-zero,
 * calls of functions flagged XEV_FN_ESCAPE are wrapped as " {fn " ... " } "
 * and date literals are rewritten with the EC's date pictures and format
 * strings (XEVSetDatePicture, XEVSetDateConvert).
 *
 * XEVGetExtendedTextLength gives a byte length at least as large as the
 * extended text (a buffer of that size + 1 holds it); 0 for NULL or a text
 * whose length does not fit 32 bits. */
XEV_API int32_t XEV_CALL XEVGetExtendedTextLength(ExprContext* ec, HEXP exp, int32_t expandDates);
/* Writes the extended text into buffer (size bytes), cut to size - 1 bytes and
 * zero-terminated. Returns the byte length written minus one (so 6 for a
 * 7-byte text, and -1 when a size of 1 leaves room for the terminator only);
 * 0 with an empty buffer for NULL, a size below 1, or when memory is short. */
XEV_API int32_t XEV_CALL XEVGetExtendedText(ExprContext* ec, HEXP exp, int32_t size, char* buffer,
                                            int32_t expandDates);

/* ---- Parsing ----------------------------------------------------------------------- */

/* The parse entry points read a formula (docs/language.md) in the context of
 * ec's items, expressions and flags, and keep it as an expression of ec. On
 * failure they return NULL, fill *error (when error is not NULL) with the code
 * and the part of the text it is about, and leave ec as it was. When memory
 * is short they fail with error 121.
 *
 * XEVParseFormula is what an editor calls when a user saves a formula: the
 * name must be free, and an existing formula can be changed in place.
 *  existing  NULL to add a new expression; or one of ec's expressions, which
 *            gets the new text, tree, type and name and keeps its handle and
 *            ordinal (when the name changes, the rename callback is told, then
 *            the notify callback with code 3). On failure it keeps all it had.
 *  text      the formula; NULL counts as "".
 *  name      the name (see XEVValidName); NULL or "" generates one: Formula1,
 *            Range1, Set1, ... by the kind of formula.
 *  error     receives the error on failure; may be NULL. A successful parse
 *            may leave it written too (the name check records 108 with the
 *            name's span even for a valid name), so tell success by the
 *            returned expression, never by error->code.
 *  typeOut   receives the formula's data type on success; may be NULL.
 * Fails with 107 for an invalid name, 126 for a name another expression or a
 * function has, 125 when the formula uses itself through other formulas, 127
 * when an existing formula that others use would change its type, or with the
 * code of the first error in the text.
 * Returns the expression: existing when given, else a new one; NULL, with
 * nothing changed, for an existing expression of another context. */
XEV_API HEXP XEV_CALL XEVParseFormula(ExprContext* ec, HEXP existing, const char* text,
                                      const char* name, ExprError* error, uint16_t* typeOut);
/* Adds a new expression like XEVParseFormula without an existing one, but
 * without checking that the name is free (loading and copying use it to
 * restore saved formulas). Tells the notify callback code 2. Returns the new
 * expression, or NULL. */
XEV_API HEXP XEV_CALL XEVParseString(ExprContext* ec, const char* text, const char* name,
                                     ExprError* error, uint16_t* typeOut);
/* 1 when name can name a formula in ec (NULL ec: a context with no items and
 * no flags): a single name of one to three parts, quoted parts allowed, that
 * is no word of the language (AND, the date units unless ECF_NO_DATE_ARITH,
 * DISTINCT and ALL with ECF_SET_QUANTIFIERS) and that HostStrNormalize leaves
 * unchanged. Whether the name is free is XEVIsExpNameUnique's question. When
 * error is given it is set to code 108, position 0 and the name's length,
 * whatever the answer. */
XEV_API int32_t XEV_CALL XEVValidName(ExprContext* ec, const char* name, ExprError* error);
/* Makes an item name usable in formulas: a name that reads as a date unit
 * (Day, MONTHS, second, ...) is written to destination with "_" in front and 1
 * is returned; any other name is copied unchanged and 0 returned. destination
 * must hold the name's length + 2 bytes; it may be name itself. */
XEV_API int32_t XEV_CALL XEVInputNameIsKeyword(char* destination, const char* name);
/* Copies the message of an error code (100 to 137) into buffer, cut to
 * size - 1 bytes and zero-terminated; returns the bytes copied, 0 (and an
 * empty buffer) for a code without a message. */
XEV_API int32_t XEV_CALL XEVGetErrorMessage(uint32_t code, char* buffer, int32_t size);
/* Shows the modal error dialog over parent: the message of error->code and the
 * formula text with the failing part selected. text and error stay the
 * caller's. Returns 1 when the user closed it, -1 when it cannot be created. */
XEV_API intptr_t XEV_CALL XEVErrorDisplay(XEVHWND parent, const char* text, const ExprError* error);

/* ---- Help with errors --------------------------------------------------------------- */

/* The lexical pieces of formula text as a host colours or inspects them,
 * without parsing: a name (letters, digits, "@#$_." and the characters of
 * the code page beyond ASCII, double-byte or UTF-8), a quoted name or a string with its quotes (a
 * doubled quote stays inside; an unclosed one runs to the end), "||", and
 * any other single byte. Blanks (space, tab, CR, LF) separate pieces. */
typedef struct XEVTextPiece {
  int32_t kind; /* XEV_PIECE_* */
  uint32_t pos; /* byte offset in the text */
  uint32_t len; /* byte length, quotes included */
} XEVTextPiece;
#define XEV_PIECE_NAME 1
#define XEV_PIECE_QUOTED_NAME 2
#define XEV_PIECE_STRING 3
#define XEV_PIECE_PUNCT 4
/* Writes the first capacity pieces of text into pieces (which may be NULL
 * when capacity is 0) and returns how many the whole text has, so a second
 * call with an array that large gets them all; -1 for a NULL text or a
 * capacity below 0. */
XEV_API int32_t XEV_CALL XEVSplitFormulaText(const char* text, XEVTextPiece* pieces, int32_t capacity);
/* One line, in the code page's bytes, that says how to fix *error, the error
 * a parse of text reported in ec, where the cause can be told from the
 * failing piece, its neighbours and the names ec holds: "did you mean
 * Unit_Price?", "write Net() to use the formula Net", a comparison or unary
 * minus the language does not have, a string in double quotes. name is the
 * name the formula was to have (NULL for none). Writes the hint into hint
 * (size bytes, zero-terminated) and returns its byte length; 0 with an empty
 * hint when no cause is certain; -1 (with as much as fits) when size is too
 * small, and -1 with an empty hint for NULL arguments, a size below 1 or
 * short memory. Reads ec only; safe where a parse in ec would be. */
XEV_API int32_t XEV_CALL XEVFormulaHint(ExprContext* ec, const char* name, const char* text, const ExprError* error,
                                        char* hint, int32_t size);

/* ---- Help for hosts: column names and formulas files ----------------------------- */

/* The shared rules of hosts that read tables and files of formulas, so that
 * every host names the same column alike and reads the same file alike. They
 * need no context and read only the code page; any thread may call them. */

/* Bytes of a name slot: a name of at most 64 bytes and its terminator. */
#define XEV_NAME_SIZE 65

/* The data item names of the count columns labelled labels[0..count-1]
 * (zero-terminated, code-page bytes; a NULL label counts as ""): the characters
 * the name check takes in a part of a name are kept, and each run of others
 * becomes one "_" between the kept ones (none at either end); an empty result
 * becomes ColumnN (N = the column's place from 1); a leading digit or a word of
 * the language in any letter case (AND, the date units with or without a
 * final S, DISTINCT, ALL) gets a "_" in front; the name is cut to 64 bytes,
 * never inside a character. A name an earlier column took gets _2, _3, ...,
 * the first suffix that is free (the name cut to make room for it).
 * names receives name i, zero-terminated, at names + i * XEV_NAME_SIZE; the
 * caller's buffer holds count * XEV_NAME_SIZE bytes. Returns 1; 0 for a NULL
 * labels or names, a count below 0, or when memory is short (names then holds
 * no complete answer). */
XEV_API int32_t XEV_CALL XEVDataItemNames(const char* const* labels, int32_t count, char* names);

/* What a line of a formulas file holds. A formulas file has one definition a
 * line, "name = text"; a line ends at CR LF, LF or CR alone, so files written
 * on any system read alike; a line of blanks (spaces and tabs) and a line
 * whose first non-blank byte is "#" hold no definition. A definition is split
 * at its first "="; the blanks around name and text are not theirs. */
typedef struct XEVFormulaLine {
  int32_t kind;          /* XEV_LINE_* */
  uint32_t length;       /* bytes of the line, its line end not counted */
  uint32_t nameStart;    /* XEV_LINE_DEFINITION: the name, as a byte offset */
  uint32_t nameLength;   /*   into the text given, and its byte length */
  uint32_t textStart;    /* the formula text likewise */
  uint32_t textLength;
  uint32_t column;       /* a shape error: the byte of the line it is shown at */
  const char* problem;   /* a shape error: its message, the library's static text; else NULL */
} XEVFormulaLine;
#define XEV_LINE_BLANK 0
#define XEV_LINE_COMMENT 1
#define XEV_LINE_DEFINITION 2
/* Shape errors, with their messages and where they are shown: */
#define XEV_LINE_NO_EQUALS 3 /* "expected 'name = formula'", at the first non-blank byte */
#define XEV_LINE_NO_NAME 4   /* "missing formula name before '='", at the "=" */
#define XEV_LINE_NO_TEXT 5   /* "missing formula text after '='", at the line's end */

/* Reads the line text begins with, of the length bytes given (zero bytes are
 * bytes like any other), into *line. A file is read by calling it again where
 * the last line ended, until it returns 0; the caller counts the lines.
 * Returns the bytes the line and its line end take; 0 when length is 0; -1
 * for a NULL text or line or a negative length. */
XEV_API int32_t XEV_CALL XEVReadFormulaLine(const char* text, int32_t length, XEVFormulaLine* line);
/* Reads text (length bytes) as one definition, given alone rather than in a
 * file: line ends are bytes of the text, and no text is blank or a comment,
 * so *line gets XEV_LINE_DEFINITION or a shape error. Returns 1 for a
 * definition, 0 for a shape error, -1 for a NULL text or line or a negative
 * length. */
XEV_API int32_t XEV_CALL XEVReadDefinition(const char* text, int32_t length, XEVFormulaLine* line);

/* ---- Evaluation ---------------------------------------------------------------------- */

/* Evaluation walks the formula, asking data item callbacks for values and
 * calling functions; it changes nothing in the EC. A formula yields no value
 * (the call returns 0) when a callback or function returns 0, a name it uses
 * is gone, or memory is short; evaluation reports no error codes. Ranges,
 * sets, keyword formulas and '%' yield no value. Division by zero gives 0 and
 * a NULL operand of Number arithmetic counts as 0. An expression is evaluated
 * over the items of the context it is asked in. */

/* Evaluates exp into the caller's buffer.
 *  Number or DateTime: writes the 13-byte NumberValue; size is not looked at,
 *    so buffer must hold 13 bytes.
 *  String: size 0 writes the size the text needs (its length + 1) as an
 *    int32_t into buffer. Otherwise copies min(size, length + 1) bytes: a
 *    buffer that is too small gets the first size bytes WITHOUT a terminator.
 * Returns 1, or 0 when there is no value (buffer untouched), for a NULL exp or
 * buffer, a negative size, or another type. */
XEV_API int32_t XEV_CALL XEVEvaluateExpression(ExprContext* ec, HEXP exp, int32_t size, void* buffer);
/* Evaluates the count formulas exps[0..count-1] over the same row, in that
 * order: results[i] is what XEVEvaluateExpression(ec, exps[i], sizes[i],
 * buffers[i]) would return, and buffers[i] receives what it would write. The
 * one difference: within the call each data item's callback is asked at most
 * once, by the first occurrence of the item in any of the formulas (its exp
 * argument is the formula being evaluated then, or the named formula that
 * one refers to), and what it answered, a value, a NULL value or no value, is
 * taken again by every later occurrence. A text answer is kept by the engine
 * until the call returns. A callback that adds, deletes, renames or re-binds
 * items, or adds or destroys expressions, makes the call forget the answers
 * given so far: later occurrences ask again. An evaluation started from
 * inside a callback asks its items itself and leaves the call's answers
 * alone. When memory for keeping an answer is short, that item is asked again
 * at its next occurrence; the results stay the same for a host whose
 * callbacks give the same answer for the same row. sizes may be NULL: every
 * size is then 0. A NULL exps[i] or buffers[i] gives results[i] = 0; a
 * callback must not destroy a formula still to come in exps.
 * Returns how many formulas have a value (results[i] = 1), or -1 when memory
 * ran short while evaluating the row (a formula's value was lost, never shown
 * as no value alone). With a NULL ec, exps or buffers nothing is evaluated,
 * every results[i] is 0 and 0 is returned; with a NULL results or a count
 * below 1, 0 is returned. */
XEV_API int32_t XEV_CALL XEVEvaluateExpressions(ExprContext* ec, int32_t count, const HEXP* exps,
                                                const int32_t* sizes, void* const* buffers, int32_t* results);
/* Evaluates exp into a block the caller owns.
 *  Number or DateTime: *block must already point to 13 bytes, which receive
 *    the value; *length is not written.
 *  String: when *block is NULL the engine allocates one with HostAlloc; when
 *    it is too small (HostBlockSize) the engine grows it with HostRealloc;
 *    either way *block is set to the block holding the zero-terminated text,
 *    and *length (when length is not NULL) to its length + 1, cut to 16 bits.
 *    The caller frees the block with HostFree (XEVMemFree); it may be reused
 *    for the next call.
 * Returns 1, or 0 when there is no value, for NULL arguments or another type,
 * or when the block cannot be allocated (a block that could not be grown stays
 * in *block). */
XEV_API int32_t XEV_CALL XEVEvaluateExpressionExt(ExprContext* ec, HEXP exp, int32_t* length,
                                                  void** block);
/* Lets the host take over an operator. op: 0 '+', 1 '-', 2 '/', 3 '*',
 * 4 '||'; slot: the type of the left operand, 0 Number, 1 DateTime, 2 String,
 * 3 Keyword. name is handed to the resolve callback for the XEVOperatorCallback
 * to call (0 without one) and is kept, also in the stored block; NULL clears
 * the slot. A callback in a slot makes the parser admit that operator for that
 * type; the evaluator calls only the Number slots of '+', '-', '*' and '/'.
 * Returns 1; 1 and nothing stored for an op outside 0 to 4; 0 for a NULL ec or
 * a slot outside 0 to 3. When the name cannot be copied the EC IS DESTROYED
 * and 0 is returned: the handle must not be used again. */
XEV_API int32_t XEV_CALL XEVSetOperatorCallback(ExprContext* ec, int32_t op, int32_t slot,
                                                const char* name);

/* ---- Built-in functions ------------------------------------------------------------------ */

/* The 46 built-in functions (docs/functions.md), called in formulas by their
 * names without "FUN" (StrLeft). Hosts rarely call the entry points below
 * directly; they follow the XEVFunctionEntry convention. */

/* Adds the built-in functions to ec as function items. Call it for every EC
 * that offers them, before formulas are parsed; a stored block does not keep
 * them. Returns 1, or 0 for a NULL ec or when memory is short (the functions
 * added so far stay). */
XEV_API int32_t XEV_CALL FUNDefineFunctions(ExprContext* ec);
/* The library's own module, from which it loads its texts and finds entry points. */
XEV_API XEVHMODULE XEV_CALL FUNModuleHandle(void);
/* Tells the library that the system's settings changed: the next formatting
 * call reads the locale again (HostLocaleChanged). */
XEV_API void XEV_CALL FUNWinIniChange(void);
/* Stores the string source as a function's or data item's result: grows the
 * block *result (of size bytes; *result may be NULL) with HostRealloc when it
 * is too small, then copies source with its terminator. Returns 1, or 0 when
 * growing fails (the old block stays) or an argument is NULL. */
XEV_API int32_t XEV_CALL FUNStrVarResult(void** result, int32_t size, const char* source);

/* The built-in entry points, each with its parameter types and result type.
 * FUNNumberIFF and FUNDateIFF are one entry point under two names. */
#define XEV_DECLARE_FUNCTION(fn)                                                          \
  XEV_API int32_t XEV_CALL fn(ExprContext* ec, HEXP exp, int32_t size, void** result,      \
                              const char* name, void** args)
XEV_DECLARE_FUNCTION(FUNDateAddDay);        /* (DateTime, Number) -> DateTime */
XEV_DECLARE_FUNCTION(FUNDateYear);          /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateMonth);         /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateDay);           /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateHour);          /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateMinute);        /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateSecond);        /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateMonthBegin);    /* (DateTime) -> DateTime */
XEV_DECLARE_FUNCTION(FUNDateMonthEnd);      /* (DateTime) -> DateTime */
XEV_DECLARE_FUNCTION(FUNDateToStr);         /* (DateTime) -> String */
XEV_DECLARE_FUNCTION(FUNDateConstruct);     /* (Number, Number, Number, Number, Number, Number) -> DateTime */
XEV_DECLARE_FUNCTION(FUNStrMid);            /* (String, Number, Number) -> String */
XEV_DECLARE_FUNCTION(FUNStrRight);          /* (String, Number) -> String */
XEV_DECLARE_FUNCTION(FUNStrLeft);           /* (String, Number) -> String */
XEV_DECLARE_FUNCTION(FUNStrLength);         /* (String) -> Number */
XEV_DECLARE_FUNCTION(FUNStrRTrim);          /* (String) -> String */
XEV_DECLARE_FUNCTION(FUNStrLTrim);          /* (String) -> String */
XEV_DECLARE_FUNCTION(FUNStrRepeat);         /* (String, Number) -> String */
XEV_DECLARE_FUNCTION(FUNStrPad);            /* (String, Number) -> String */
XEV_DECLARE_FUNCTION(FUNStrCompare);        /* (String, String) -> Number */
XEV_DECLARE_FUNCTION(FUNStrIFF);            /* (Number, String, String, String) -> String */
XEV_DECLARE_FUNCTION(FUNStrCase);           /* (Number, String) -> String */
XEV_DECLARE_FUNCTION(FUNStrProper);         /* (String) -> String */
XEV_DECLARE_FUNCTION(FUNStrReplace);        /* (String, Number, Number, String) -> String */
XEV_DECLARE_FUNCTION(FUNStrScan);           /* (String, String) -> Number */
XEV_DECLARE_FUNCTION(FUNStrSpaces);         /* (Number) -> String */
XEV_DECLARE_FUNCTION(FUNStrToDate);         /* (String) -> DateTime */
XEV_DECLARE_FUNCTION(FUNStrToNumber);       /* (String) -> Number */
XEV_DECLARE_FUNCTION(FUNStrUpper);          /* (String) -> String */
XEV_DECLARE_FUNCTION(FUNNumberAbsolute);    /* (Number) -> Number */
XEV_DECLARE_FUNCTION(FUNNumberMod);         /* (Number, Number) -> Number */
XEV_DECLARE_FUNCTION(FUNNumberToStr);       /* (Number, Number) -> String */
XEV_DECLARE_FUNCTION(FUNNumberToCurrency);  /* (Number) -> String */
XEV_DECLARE_FUNCTION(FUNNumberCountryFmt);  /* (Number) -> String */
XEV_DECLARE_FUNCTION(FUNNumberRound);       /* (Number, Number) -> Number */
XEV_DECLARE_FUNCTION(FUNNumberTruncate);    /* (Number, Number) -> Number */
XEV_DECLARE_FUNCTION(FUNStrLower);          /* (String) -> String */
XEV_DECLARE_FUNCTION(FUNNumberIFF);         /* (Number, Number, Number, Number) -> Number */
XEV_DECLARE_FUNCTION(FUNDateToStrPicture);  /* (DateTime, String) -> String */
XEV_DECLARE_FUNCTION(FUNNumberToStrPicture);/* (Number, String) -> String */
XEV_DECLARE_FUNCTION(FUNStrTrim);           /* (String) -> String */
XEV_DECLARE_FUNCTION(FUNStrTranslate);      /* (String, String, String) -> String */
XEV_DECLARE_FUNCTION(FUNPower);             /* (Number, Number) -> Number */
XEV_DECLARE_FUNCTION(FUNWeekDay);           /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateQuarter);       /* (DateTime) -> Number */
XEV_DECLARE_FUNCTION(FUNDateIFF);           /* (Number, DateTime, DateTime, DateTime) -> DateTime */

/* ---- The stored context (ECBlock) ----------------------------------------------------------- */

/* The ECBlock is a byte block, the same on every platform, that the host keeps
 * in its own documents. It holds the operator callback names, the data items
 * (records and binding names) and the expressions (name and text); not the
 * functions, keyword items, bound values, callbacks, flags or date settings,
 * which the host sets again on the EC it loads into. The block holds no
 * length: store the length beside it. */

/* The bytes XEVGetECBlock needs; includeExpressions 0 leaves the expressions
 * out. 1 for a NULL ec. 0 when the EC cannot be stored: it holds more than
 * 32767 data items, or (includeExpressions non-zero) more than 32767
 * expressions, the most a block's 16-bit counts take; or the block would be
 * 2 GiB or more. */
XEV_API uint32_t XEV_CALL XEVGetECBlockSize(ExprContext* ec, int32_t includeExpressions);
/* Writes the block into buffer (size bytes, at least 1): first the version
 * byte, then every piece that fits, stopping at the first that does not (so a
 * buffer of XEVGetECBlockSize(ec, 0) bytes gets the block without its
 * expressions). Returns the bytes written; 1 for a NULL ec, 0 (nothing
 * written) for a NULL buffer or a size below 1. Allocates nothing. Returns 0, and the buffer holds no usable block,
 * when the EC holds more than 32767 data items, or more than 32767
 * expressions and the buffer has room for their section: the block counts
 * each in 16 bits, and a block that held only some of them would load as
 * complete. */
XEV_API int32_t XEV_CALL XEVGetECBlock(ExprContext* ec, int32_t size, void* buffer);
/* Loads a block of any stored version (0 to 3) into ec, which should have its
 * callbacks, flags and functions set as when the block was written:
 * operator callback names and data items are added and bound through the
 * resolve callback; with loadExpressions non-zero the expressions are parsed
 * again (XEVParseString) in stored order, a formula that uses one stored after
 * it waiting until that exists. A formula that no longer parses is reported to
 * onError (versions 0 and 1, and when memory runs short) or, for versions 2
 * and 3, offered to the user in the formula editor to correct (owned by the
 * EC's hostValue window); loading stops when it cannot go on. Returns 1 when
 * the whole block was read, 0 for a NULL ec or block, a length below 1, an
 * unknown version, a damaged or cut block (a count past 32767, records that
 * do not end where the block ends), a load already running on this
 * thread (a callback that loads again), or a load that stopped (what was
 * loaded before stays in ec). */
XEV_API int32_t XEV_CALL XEVSetECContents(ExprContext* ec, int32_t length, const void* block,
                                          int32_t loadExpressions, XEVLoadErrorCallback onError);

/* ---- Formula editor ------------------------------------------------------------------------ */

/* Runs the modal formula editor over owner, in which the user writes, checks,
 * names, saves and deletes the formulas of ec; exp (may be NULL) is the
 * expression to show first, maxLength limits the formula text (0 no limit).
 * Returns the expression the user saved and closed the editor with, or NULL
 * (cancelled, or the editor could not be opened: then error 131 is shown). */
XEV_API HEXP XEV_CALL XEVBuildExpression(XEVHWND owner, ExprContext* ec, HEXP exp, uint16_t maxLength);
/* The editor opened for a kind of expression: type 1 a set, 2 a range, any
 * other a formula; itemName (may be NULL or "") is the data item to select
 * first. Returns as XEVBuildExpression. */
XEV_API HEXP XEV_CALL XEVBuildExpressionOfType(XEVHWND owner, ExprContext* ec, HEXP exp,
                                               uint16_t maxLength, int32_t type, const char* itemName);

#ifdef __cplusplus
}
#endif

#endif /* XEV_XEV_H */
