/*
 * Extending the language: a function of the host's own, called from formulas
 * like a built-in one, and an operator callback that makes "*" on Numbers
 * round to cents, as money arithmetic in this host should.
 *
 * The function and the operator are named, not given by address: the
 * context's resolve callback turns a name into the address to call. Names are
 * what a stored context keeps, so the same formulas work again after a load.
 */
#include <stdio.h>
#include <string.h>

#include "xev/xev.h"

/* Tiered(amount, tier): the amount less 10% for tier 'gold', 5% for 'silver'.
 * args holds one pointer per parameter: a NumberValue for Number and
 * DateTime parameters, a zero-terminated string for String ones. */
static int32_t XEV_CALL Tiered(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name,
                               void** args) {
  const NumberValue* amount = (const NumberValue*)args[0];
  const char* tier = (const char*)args[1];
  NumberValue rate;
  (void)ec, (void)exp, (void)size, (void)name;
  HostStrToNumber(&rate, strcmp(tier, "gold") == 0 ? "0.90" : strcmp(tier, "silver") == 0 ? "0.95" : "1");
  return NumberMul((NumberValue*)*result, amount, &rate);
}

/* The "*" operator on Numbers: left * right, rounded to two decimals. The
 * engine passes NULL operands as they are; NULL times anything is NULL here. */
static int32_t XEV_CALL TimesToCents(ExprContext* ec, HEXP exp, int32_t zero, int32_t leftSize, void* left,
                                     int32_t rightSize, void* right, int32_t resultSize, void* result) {
  NumberValue product;
  (void)ec, (void)exp, (void)zero, (void)leftSize, (void)rightSize, (void)resultSize;
  if (NumberIsNull(left) || NumberIsNull(right) || !NumberMul(&product, left, right)) {
    NumberSetNull(result);
    return 1;
  }
  return NumberRound(result, &product, 2);
}

static int32_t XEV_CALL Rate(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name) {
  (void)ec, (void)exp, (void)size, (void)name;
  return HostStrToNumber((NumberValue*)*result, "0.0725");
}

static intptr_t XEV_CALL Resolve(const char* name) {
  if (strcmp(name, "host_tiered") == 0) return (intptr_t)Tiered;
  if (strcmp(name, "host_times_to_cents") == 0) return (intptr_t)TimesToCents;
  if (strcmp(name, "host_rate") == 0) return (intptr_t)Rate;
  return 0;
}

/* A function item with two parameters. ExpItem holds room for one parameter
 * entry; the union gives the record room for the second. */
static int AddTiered(ExprContext* ec) {
  union {
    ExpItem item;
    unsigned char room[sizeof(ExpItem) + sizeof(ExpParam)];
  } record;
  ExpItem* item = &record.item;
  memset(&record, 0, sizeof record);
  item->kind = XEV_ITEM_FUNCTION;
  item->dataType = XEV_TYPE_NUMBER; /* the result */
  item->bindingName = "host_tiered";
  strcpy(item->name, "Tiered");
  item->paramCount = 2;
  item->params[0].type = XEV_TYPE_NUMBER;
  item->params[1].type = XEV_TYPE_STRING;
  return XEVAddExpressionItem(ec, item);
}

static int AddRate(ExprContext* ec) {
  ExpItem item;
  memset(&item, 0, sizeof item);
  item.kind = XEV_ITEM_DATA;
  item.dataType = XEV_TYPE_NUMBER;
  item.bindingName = "host_rate";
  strcpy(item.name, "Rate");
  return XEVAddExpressionItem(ec, &item);
}

static int Check(ExprContext* ec, const char* text, const char* want) {
  ExprError error;
  uint16_t type;
  NumberValue value;
  char got[64] = "";
  HEXP exp = XEVParseFormula(ec, NULL, text, NULL, &error, &type);
  if (exp != NULL && XEVEvaluateExpression(ec, exp, sizeof value, &value)) HostNumberToStr(&value, got, sizeof got);
  printf("  %-36s = %s\n", text, got);
  if (strcmp(got, want) == 0) return 1;
  fprintf(stderr, "%s: expected %s (error %u)\n", text, want, exp == NULL ? error.code : 0u);
  return 0;
}

int main(void) {
  int good = 1;
  ExprContext* ec = XEVCreateEC(0, Resolve, NULL, 0);
  if (ec == NULL || !AddTiered(ec) || !AddRate(ec)) return 1;

  good &= Check(ec, "Tiered(200, 'gold')", "180");
  good &= Check(ec, "Tiered(19.99, 'silver')", "18.9905");
  good &= Check(ec, "1234.50 * Rate", "89.50125");

  /* Operator code 3 is "*", slot 0 the Number operands. From now on every
   * Number product goes through the host, including inside Tiered's argument. */
  if (!XEVSetOperatorCallback(ec, 3, XEV_TYPE_NUMBER, "host_times_to_cents")) return 1;
  good &= Check(ec, "1234.50 * Rate", "89.5");
  good &= Check(ec, "Tiered(10.005 * 1, 'plain')", "10.01");

  XEVDestroyEC(ec);
  return good ? 0 : 1;
}
