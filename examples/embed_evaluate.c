/*
 * Embedding the engine: a host with a small table of orders lets its users
 * write formulas over the columns and evaluates them for every row.
 *
 * Each column is a data item whose callback reads the current row; the row is
 * found through the context's user long. Build against an installed xev with
 *   cc embed_evaluate.c $(pkg-config --cflags --libs xev)
 */
#include <stdio.h>
#include <string.h>

#include "xev/xev.h"

typedef struct Order {
  const char* customer;
  const char* price; /* decimal text, read exactly */
  int32_t quantity;
  DateParts ordered;
} Order;

static const Order kOrders[] = {
    {"northwind", "19.90", 3, {3, 14, 2024, 0, 0, 0, 0}},
    {"Blue Harbour", "1250.00", 1, {12, 30, 2024, 0, 0, 0, 0}},
};

static const Order* CurrentRow(ExprContext* ec) { return (const Order*)XEVGetUserLong(ec); }

/* Data item callbacks: *result is a block of size bytes (13 for Number and
 * DateTime, 50 for String) that the engine owns; return 1 with the value
 * written into it, or 0 for "no value". */
static int32_t XEV_CALL Price(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)exp, (void)size, (void)name;
  return HostStrToNumber((NumberValue*)*result, CurrentRow(ec)->price);
}

static int32_t XEV_CALL Quantity(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)exp, (void)size, (void)name;
  IntToNumber((NumberValue*)*result, CurrentRow(ec)->quantity);
  return 1;
}

static int32_t XEV_CALL Ordered(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  NumberValue* value = (NumberValue*)*result;
  (void)exp, (void)size, (void)name;
  value->bytes[0] = DatePartsToNumber(value->bytes + 1, &CurrentRow(ec)->ordered);
  return 1;
}

/* A string longer than the block grows it; FUNStrVarResult does that. */
static int32_t XEV_CALL Customer(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)exp, (void)name;
  return FUNStrVarResult(result, size, CurrentRow(ec)->customer);
}

static int AddDataItem(ExprContext* ec, const char* name, int16_t type, XEVDataItemCallback callback) {
  ExpItem item;
  memset(&item, 0, sizeof item);
  item.kind = XEV_ITEM_DATA;
  item.dataType = type;
  item.boundValue = (intptr_t)callback;
  strncpy(item.name, name, sizeof item.name - 1);
  return XEVAddExpressionItem(ec, &item);
}

static HEXP Parse(ExprContext* ec, const char* name, const char* text) {
  ExprError error;
  uint16_t type;
  char message[200];
  HEXP exp = XEVParseFormula(ec, NULL, text, name, &error, &type);
  if (exp == NULL) {
    XEVGetErrorMessage(error.code, message, sizeof message);
    fprintf(stderr, "%s: %s\n  at byte %u, %u bytes: '%.*s'\n", name, message, error.pos, error.len,
            (int)error.len, text + error.pos);
  }
  return exp;
}

static int failures = 0;

static void Expect(const char* what, const char* got, const char* want) {
  printf("  %-10s %s\n", what, got);
  if (strcmp(got, want) != 0) {
    fprintf(stderr, "%s: expected %s\n", what, want);
    ++failures;
  }
}

int main(void) {
  static const char* const kTotals[] = {"64.48", "1350"};
  static const char* const kLabels[] = {"NORTHWIND, due 2024-04-13", "BLUE HARBOUR, due 2025-01-29"};
  ExprContext* ec;
  HEXP total, label;
  size_t row;

  if (XEVVersion() / 10000 != XEV_VERSION_MAJOR) {
    fprintf(stderr, "library version %u does not match the header's\n", (unsigned)XEVVersion());
    return 1;
  }
  /* Flags 0: the plain language. No resolve callback: the items below carry
   * their callbacks' addresses themselves. */
  ec = XEVCreateEC(0, NULL, NULL, 0);
  if (ec == NULL || !FUNDefineFunctions(ec)) return 1;
  if (!AddDataItem(ec, "Price", XEV_TYPE_NUMBER, Price) || !AddDataItem(ec, "Quantity", XEV_TYPE_NUMBER, Quantity) ||
      !AddDataItem(ec, "Ordered", XEV_TYPE_DATETIME, Ordered) ||
      !AddDataItem(ec, "Customer", XEV_TYPE_STRING, Customer))
    return 1;

  /* A named formula is called with empty parentheses from another one. */
  if (Parse(ec, "Subtotal", "Price * Quantity") == NULL) return 1;
  total = Parse(ec, "Total", "NumberRound(Subtotal() * 1.08, 2)");
  label = Parse(ec, "Label", "StrUpper(Customer) || ', due ' || DateToStrPicture(Ordered + 30 DAYS, 'yyyy-MM-dd')");
  if (total == NULL || label == NULL) return 1;

  for (row = 0; row < sizeof kOrders / sizeof kOrders[0]; ++row) {
    NumberValue number;
    char text[64];
    char* block = NULL;
    int32_t length = 0;

    XEVSetUserLong(ec, (intptr_t)&kOrders[row]);
    printf("row %u\n", (unsigned)row);

    /* Number and DateTime results are 13-byte NumberValues. */
    if (!XEVEvaluateExpression(ec, total, sizeof number, &number)) return 1;
    HostNumberToStr(&number, text, sizeof text);
    Expect("Total", text, kTotals[row]);

    /* A String result of any length: the engine allocates (or grows) the
     * block with HostAlloc, and the caller frees it with HostFree. */
    if (!XEVEvaluateExpressionExt(ec, label, &length, (void**)&block)) return 1;
    Expect("Label", block, kLabels[row]);
    HostFree(block);
  }

  XEVDestroyEC(ec);
  return failures == 0 ? 0 : 1;
}
