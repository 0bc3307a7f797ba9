/*
 * A Windows host that loads xev.dll at run time: LoadLibrary, then each entry
 * point by its plain name with GetProcAddress. It registers two data items,
 * parses and evaluates a formula, saves the context as a block, loads the
 * block into a new context and evaluates again.
 *
 * Every entry point and callback is XEV_CALL (stdcall on 32-bit Windows), so
 * the pointer types below say so too.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "xev/xev.h"

typedef ExprContext*(XEV_CALL* CreateEC)(intptr_t, XEVResolveCallback, XEVRenameCallback, uint16_t);
typedef int32_t(XEV_CALL* WithContext)(ExprContext*);
typedef int32_t(XEV_CALL* AddItem)(ExprContext*, const ExpItem*);
typedef HEXP(XEV_CALL* Parse)(ExprContext*, HEXP, const char*, const char*, ExprError*, uint16_t*);
typedef int32_t(XEV_CALL* Evaluate)(ExprContext*, HEXP, int32_t, void*);
typedef HEXP(XEV_CALL* FromName)(ExprContext*, const char*);
typedef int32_t(XEV_CALL* NumberText)(const NumberValue*, char*, int32_t);
typedef int32_t(XEV_CALL* TextNumber)(NumberValue*, const char*);
typedef uint32_t(XEV_CALL* BlockSize)(ExprContext*, int32_t);
typedef int32_t(XEV_CALL* GetBlock)(ExprContext*, int32_t, void*);
typedef int32_t(XEV_CALL* SetContents)(ExprContext*, int32_t, const void*, int32_t, XEVLoadErrorCallback);

static struct {
  CreateEC createEC;
  WithContext destroyEC, defineFunctions;
  AddItem addItem;
  Parse parse;
  Evaluate evaluate;
  FromName fromName;
  NumberText numberToText;
  TextNumber textToNumber;
  BlockSize blockSize;
  GetBlock getBlock;
  SetContents setContents;
} xev;

static int Find(HMODULE module, const char* name, void* slot) {
  FARPROC entry = GetProcAddress(module, name);
  if (entry == NULL) fprintf(stderr, "xev.dll has no %s\n", name);
  memcpy(slot, &entry, sizeof entry);
  return entry != NULL;
}

static int FindAll(HMODULE module) {
  return Find(module, "XEVCreateEC", &xev.createEC) && Find(module, "XEVDestroyEC", &xev.destroyEC) &&
         Find(module, "FUNDefineFunctions", &xev.defineFunctions) &&
         Find(module, "XEVAddExpressionItem", &xev.addItem) && Find(module, "XEVParseFormula", &xev.parse) &&
         Find(module, "XEVEvaluateExpression", &xev.evaluate) && Find(module, "XEVHEXPFromName", &xev.fromName) &&
         Find(module, "HostNumberToStr", &xev.numberToText) && Find(module, "HostStrToNumber", &xev.textToNumber) &&
         Find(module, "XEVGetECBlockSize", &xev.blockSize) && Find(module, "XEVGetECBlock", &xev.getBlock) &&
         Find(module, "XEVSetECContents", &xev.setContents);
}

static int32_t XEV_CALL Quantity(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)ec, (void)exp, (void)size, (void)name;
  return xev.textToNumber((NumberValue*)*result, "12");
}

static int32_t XEV_CALL Price(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)ec, (void)exp, (void)size, (void)name;
  return xev.textToNumber((NumberValue*)*result, "4.25");
}

static intptr_t XEV_CALL Resolve(const char* bindingName) {
  if (strcmp(bindingName, "column:quantity") == 0) return (intptr_t)Quantity;
  if (strcmp(bindingName, "column:price") == 0) return (intptr_t)Price;
  return 0;
}

static ExprContext* NewContext(void) {
  ExprContext* ec = xev.createEC(0, Resolve, NULL, 0);
  if (ec != NULL && !xev.defineFunctions(ec)) {
    xev.destroyEC(ec);
    return NULL;
  }
  return ec;
}

static int AddColumn(ExprContext* ec, const char* name, const char* bindingName) {
  ExpItem item;
  memset(&item, 0, sizeof item);
  item.kind = XEV_ITEM_DATA;
  item.dataType = XEV_TYPE_NUMBER;
  item.bindingName = bindingName;
  strcpy(item.name, name);
  return xev.addItem(ec, &item);
}

/* The value of the formula named Total, as text, into text. */
static int TotalText(ExprContext* ec, char* text, int32_t size) {
  NumberValue value;
  return xev.evaluate(ec, xev.fromName(ec, "Total"), sizeof value, &value) &&
         xev.numberToText(&value, text, size) >= 0;
}

int main(void) {
  static unsigned char block[4096];
  char before[32] = "", after[32] = "";
  ExprError error;
  uint16_t type;
  HMODULE module = LoadLibraryA("xev.dll");
  if (module == NULL || !FindAll(module)) return fprintf(stderr, "cannot load xev.dll\n"), 1;

  ExprContext* ec = NewContext();
  if (ec == NULL || !AddColumn(ec, "Quantity", "column:quantity") || !AddColumn(ec, "Price", "column:price") ||
      !xev.parse(ec, NULL, "NumberRound(Quantity * Price * 1.2, 2)", "Total", &error, &type) ||
      !TotalText(ec, before, sizeof before))
    return fprintf(stderr, "cannot build the context\n"), 1;

  uint32_t size = xev.blockSize(ec, 1);
  if (size > sizeof block || !xev.getBlock(ec, (int32_t)size, block)) return 1;
  xev.destroyEC(ec);

  ec = NewContext();
  if (ec == NULL || !xev.setContents(ec, (int32_t)size, block, 1, NULL) || !TotalText(ec, after, sizeof after))
    return fprintf(stderr, "cannot load the block\n"), 1;
  xev.destroyEC(ec);
  FreeLibrary(module);

  printf("Total = %s, after a %u-byte block round trip: %s\n", before, (unsigned)size, after);
  return strcmp(before, "61.2") == 0 && strcmp(after, before) == 0 ? 0 : 1;
}
