/*
 * Keeping a context: a host stores everything its user wrote (data items,
 * named formulas, ranges and sets, operator callback names) as one byte block
 * in its own document, and loads it into a fresh context on the next run.
 *
 * The block holds names, never addresses: data items and operator callbacks
 * come back through the resolve callback, and functions are defined again by
 * the host before loading, as on every start.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "xev/xev.h"

static int32_t XEV_CALL Units(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)ec, (void)exp, (void)size, (void)name;
  IntToNumber((NumberValue*)*result, 12);
  return 1;
}

static int32_t XEV_CALL UnitPrice(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)ec, (void)exp, (void)size, (void)name;
  return HostStrToNumber((NumberValue*)*result, "4.25");
}

static intptr_t XEV_CALL Resolve(const char* bindingName) {
  if (strcmp(bindingName, "column:units") == 0) return (intptr_t)Units;
  if (strcmp(bindingName, "column:unit_price") == 0) return (intptr_t)UnitPrice;
  return 0;
}

/* Where a host would show the user why a stored formula no longer parses. */
static int32_t XEV_CALL OnLoadError(ExprContext* ec, const char* text, ExprError* error) {
  (void)ec;
  fprintf(stderr, "stored formula '%s' failed with error %u\n", text, error->code);
  return 0;
}

/* Data items that can be stored carry a binding name for the resolve callback. */
static int AddColumn(ExprContext* ec, const char* name, const char* bindingName) {
  ExpItem item;
  memset(&item, 0, sizeof item);
  item.kind = XEV_ITEM_DATA;
  item.dataType = XEV_TYPE_NUMBER;
  item.bindingName = bindingName;
  strcpy(item.name, name);
  return XEVAddExpressionItem(ec, &item);
}

static ExprContext* NewContext(void) {
  ExprContext* ec = XEVCreateEC(0, Resolve, NULL, ECF_RANGES_SETS);
  if (ec != NULL && !FUNDefineFunctions(ec)) {
    XEVDestroyEC(ec);
    return NULL;
  }
  return ec;
}

/* Writes the context's block to a file, as a host writes it into its document. */
static int Store(ExprContext* ec, FILE* file) {
  uint32_t size = XEVGetECBlockSize(ec, 1);
  void* block = malloc(size);
  int stored = block != NULL && XEVGetECBlock(ec, (int32_t)size, block) &&
               fwrite(&size, sizeof size, 1, file) == 1 && fwrite(block, size, 1, file) == 1;
  free(block);
  return stored;
}

static ExprContext* Load(FILE* file) {
  uint32_t size = 0;
  void* block = NULL;
  ExprContext* ec = NULL;
  rewind(file);
  if (fread(&size, sizeof size, 1, file) == 1 && (block = malloc(size)) != NULL &&
      fread(block, size, 1, file) == 1 && (ec = NewContext()) != NULL &&
      !XEVSetECContents(ec, (int32_t)size, block, 1, OnLoadError)) {
    XEVDestroyEC(ec);
    ec = NULL;
  }
  free(block);
  return ec;
}

static int32_t XEV_CALL ListOne(ExprContext* ec, HEXP exp, int32_t ordinal) {
  char name[80], text[200];
  XEVGetExpressionName(ec, exp, sizeof name, name);
  XEVGetExpressionText(ec, exp, sizeof text, text);
  printf("  %d %-8s %s%s\n", ordinal, name, text, XEVIsExpRange(ec, exp, XEV_EXP_RANGE) ? "   (a range)" : "");
  return 1; /* go on */
}

int main(void) {
  ExprError error;
  uint16_t type;
  NumberValue value;
  char text[32] = "";
  ExprContext* ec = NewContext();
  FILE* document = tmpfile();
  if (ec == NULL || document == NULL || !AddColumn(ec, "Units", "column:units") ||
      !AddColumn(ec, "UnitPrice", "column:unit_price"))
    return 1;

  if (!XEVParseFormula(ec, NULL, "Units * UnitPrice", "Cost", &error, &type) ||
      !XEVParseFormula(ec, NULL, "NumberRound(Cost() * 1.2, 2)", "Value", &error, &type) ||
      !XEVParseFormula(ec, NULL, "10 AND 99", "Band", &error, &type))
    return 1;
  if (!Store(ec, document)) return 1;
  XEVDestroyEC(ec);

  ec = Load(document);
  fclose(document);
  if (ec == NULL) return 1;
  printf("loaded %d expressions\n", XEVGetExpressionCount(ec));
  XEVEnumExpressions(ec, ListOne);

  if (XEVEvaluateExpression(ec, XEVHEXPFromName(ec, "Value"), sizeof value, &value))
    HostNumberToStr(&value, text, sizeof text);
  printf("Value = %s\n", text);
  XEVDestroyEC(ec);
  return strcmp(text, "61.2") == 0 ? 0 : 1;
}
