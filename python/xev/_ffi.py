"""The C library through cffi in ABI mode: the declarations this package uses,
and where libxev.so.1 is found.

The library is looked for, in order, at $XEV_LIBRARY, next to this package,
in the build trees of the source checkout the package sits in, and finally by
the dynamic linker's own search (an installed library).
"""

import os

import cffi

# Records of the engine's API are packed to one byte; the table API's are not,
# so the two are declared apart.
_PACKED_DECLARATIONS = """
typedef struct ExpParam { int16_t byName; int16_t type; int16_t subclass; } ExpParam;
typedef struct ExpItem {
  int16_t kind;
  int16_t dataType;
  const char* bindingName;
  intptr_t boundValue;
  char name[65];
  int16_t paramCount;
  int16_t subclass;
  int16_t subclass2;
  uint16_t flags;
  ExpParam params[1];
} ExpItem;
"""

_DECLARATIONS = """
typedef struct ExprContext ExprContext;
typedef struct ExprRecord* HEXP;
typedef struct ExprError { uint32_t code; uint32_t pos; uint32_t len; } ExprError;

typedef intptr_t (*XEVResolveCallback)(const char* name);
typedef void (*XEVRenameCallback)(ExprContext* ec, const char* oldName, const char* newName);
typedef int32_t (*XEVEnumItemsCallback)(ExprContext* ec, const char* name, intptr_t user);
typedef int32_t (*XEVEnumReferencesCallback)(ExprContext* ec, int16_t kind, const char* name,
                                             intptr_t user);
typedef int32_t (*XEVLoadErrorCallback)(ExprContext* ec, const char* text, ExprError* error);

uint32_t XEVVersion(void);
void HostFree(void* block);
int32_t HostSetCodePage(uint32_t codePage);
uint32_t HostGetCodePage(void);
int32_t HostIsLeadByte(int32_t byte);

ExprContext* XEVCreateEC(intptr_t hostValue, XEVResolveCallback resolve, XEVRenameCallback rename,
                         uint16_t flags);
int32_t XEVDestroyEC(ExprContext* ec);
ExprContext* XEVCopyEC(ExprContext* ec);
int32_t FUNDefineFunctions(ExprContext* ec);

int32_t XEVAddExpressionItem(ExprContext* ec, const ExpItem* item);
void XEVEnumExpItems(ExprContext* ec, int16_t kind, XEVEnumItemsCallback callback, intptr_t user);
int32_t XEVGetExpressionVariable(ExprContext* ec, ExpItem* out, const char* name);
int32_t XEVDelExpItemNoCheck(ExprContext* ec, int16_t kind, const char* name);
int32_t XEVRenameExpressionItem(ExprContext* ec, int16_t kind, const char* oldName, const char* newName);
int32_t XEVInputNameIsKeyword(char* destination, const char* name);
#define XEV_NAME_SIZE 65
int32_t XEVDataItemNames(const char* const* labels, int32_t count, char* names);

int32_t XEVGetExpressionCount(ExprContext* ec);
int32_t XEVGetExpressionTextLength(ExprContext* ec, HEXP exp);
int32_t XEVGetExpressionText(ExprContext* ec, HEXP exp, int32_t size, char* buffer);
int32_t XEVGetExpressionNameLength(ExprContext* ec, HEXP exp);
int32_t XEVGetExpressionName(ExprContext* ec, HEXP exp, int32_t size, char* buffer);
HEXP XEVHEXPFromName(ExprContext* ec, const char* name);
HEXP XEVHEXPFromOrdinal(ExprContext* ec, int32_t ordinal);
int32_t XEVGetExpressionOrdinal(ExprContext* ec, HEXP exp);
int16_t XEVGetExpressionDataType(ExprContext* ec, HEXP exp);
int32_t XEVIsExpRange(ExprContext* ec, HEXP exp, int16_t which);
int32_t XEVDestroyEXP(ExprContext* ec, HEXP exp);

HEXP XEVParseFormula(ExprContext* ec, HEXP existing, const char* text, const char* name,
                     ExprError* error, uint16_t* typeOut);
int32_t XEVValidName(ExprContext* ec, const char* name, ExprError* error);
int32_t XEVGetErrorMessage(uint32_t code, char* buffer, int32_t size);
int32_t XEVFormulaHint(ExprContext* ec, const char* name, const char* text, const ExprError* error,
                       char* hint, int32_t size);

int32_t XEVIsItemUsed(ExprContext* ec, HEXP exp, int16_t kind, const char* name);
int32_t XEVIsNamedFormulaUsed(ExprContext* ec, const char* name);
int32_t XEVIsAggregateUsed(ExprContext* ec, HEXP exp);
int32_t XEVEnumExpReferences(ExprContext* ec, HEXP exp, XEVEnumReferencesCallback callback,
                             intptr_t user);
int32_t XEVGetExtendedTextLength(ExprContext* ec, HEXP exp, int32_t expandDates);
int32_t XEVGetExtendedText(ExprContext* ec, HEXP exp, int32_t size, char* buffer, int32_t expandDates);
int32_t XEVSetDatePicture(ExprContext* ec, const char* first, const char* second, const char* third);

typedef struct XEVFormulaLine {
  int32_t kind;
  uint32_t length;
  uint32_t nameStart;
  uint32_t nameLength;
  uint32_t textStart;
  uint32_t textLength;
  uint32_t column;
  const char* problem;
} XEVFormulaLine;
#define XEV_LINE_BLANK 0
#define XEV_LINE_COMMENT 1
#define XEV_LINE_DEFINITION 2
int32_t XEVReadFormulaLine(const char* text, int32_t length, XEVFormulaLine* line);

uint32_t XEVGetECBlockSize(ExprContext* ec, int32_t includeExpressions);
int32_t XEVGetECBlock(ExprContext* ec, int32_t size, void* buffer);
int32_t XEVSetECContents(ExprContext* ec, int32_t length, const void* block, int32_t loadExpressions,
                         XEVLoadErrorCallback onError);
"""

_TABLE_DECLARATIONS = """
typedef struct XevColumn {
  int32_t kind;
  int32_t scale;
  int32_t epochDay;
  int32_t reserved;
  const void* values;
  const int64_t* offsets;
  const uint8_t* nulls;
} XevColumn;

typedef struct XevResult {
  HEXP formula;
  int32_t kind;
  int32_t scale;
  int32_t epochDay;
  int32_t type;
  int64_t rowCount;
  void* values;
  int64_t* offsets;
  uint8_t* status;
} XevResult;

typedef struct XevTable XevTable;
XevTable* XEVTableCreate(ExprContext* ec, int32_t threads);
void XEVTableDestroy(XevTable* table);
int32_t XEVTableThreadCount(const XevTable* table);
int32_t XEVTableBind(XevTable* table, const char* itemName, const XevColumn* column);
int32_t XEVTableEvaluate(XevTable* table, int64_t rowCount, const XevColumn* columns,
                         XevResult* results, int32_t resultCount, HEXP where, int64_t** rowIndex);
void XEVTableFreeResults(XevResult* results, int32_t resultCount);
int32_t XEVTableUnixEpochDay(void);

typedef struct NumberValue { unsigned char bytes[13]; } NumberValue;
int32_t HostNumberToStr(const NumberValue* n, char* buffer, int32_t size);
int32_t XEVNumbersScale(const NumberValue* values, int64_t count, int32_t* scale, int32_t* bits);
int32_t XEVNumbersToScaled(const NumberValue* values, int64_t count, int32_t scale, int32_t bits, void* out);
int32_t XEVScaledToNumbers(const void* values, int64_t count, int32_t scale, int32_t bits,
                           const uint8_t* nulls, NumberValue* out);
"""

LIBRARY_NAME = "libxev.so.1"
_HERE = os.path.dirname(os.path.abspath(__file__))
_CHECKOUT = os.path.dirname(os.path.dirname(_HERE))
_BUILD_TREES = ("build/release", "build/sanitize", "build")


def _candidates():
    explicit = os.environ.get("XEV_LIBRARY")
    if explicit:
        yield explicit
        return
    yield os.path.join(_HERE, LIBRARY_NAME)
    for tree in _BUILD_TREES:
        yield os.path.join(_CHECKOUT, tree, LIBRARY_NAME)
    yield LIBRARY_NAME  # the dynamic linker's search path


def _load(ffi):
    tried = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            tried.append(path)
            continue
        try:
            return ffi.dlopen(path), path
        except OSError as error:
            tried.append(f"{path} ({error})")
    raise ImportError(
        "xev: cannot load the engine library; build it (cmake --build build/release --target xev) "
        "or set XEV_LIBRARY to the path of libxev.so.1. Tried: " + "; ".join(tried))


ffi = cffi.FFI()
ffi.cdef(_PACKED_DECLARATIONS, packed=True)
ffi.cdef(_DECLARATIONS)
ffi.cdef(_TABLE_DECLARATIONS)
lib, library_path = _load(ffi)


def has_table_api():
    """True when the loaded library evaluates over columns (XEVTable*)."""
    try:
        lib.XEVTableCreate  # noqa: B018 - resolving the symbol is the question
    except AttributeError:
        return False
    return True
