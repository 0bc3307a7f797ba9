/*
 * Opening the Formula Editor: a host gives its users the library's editor to
 * write named formulas by picking data items, functions and operators.
 *
 * Without a desktop front end the editor runs headless, and an input hook
 * plays the user: each time the editor waits, the hook takes the next step
 * of a scripted session. A front end (a presenter, see xevui.h) would feed a
 * person's clicks and keys the same way.
 */
#include <stdio.h>
#include <string.h>

#include "xev/xev.h"
#include "xev/xevui.h"

#define ID_FORMULA_TEXT 100
#define ID_NAME 101
#define ID_DATA_ITEMS 106

static int32_t AddDataItem(ExprContext* ec, const char* name, int16_t type) {
  ExpItem item;
  memset(&item, 0, sizeof item);
  item.kind = XEV_ITEM_DATA;
  item.dataType = type;
  item.boundValue = 1; /* this host never evaluates, so no value callback */
  snprintf(item.name, sizeof item.name, "%s", name);
  return XEVAddExpressionItem(ec, &item);
}

/* The scripted session: type a formula, pick a data item, name it, press OK. */
static int32_t XEV_CALL PlayTheUser(void* context, XEVHWND editor) {
  int* step = (int*)context;
  XEVHWND items = XEVUiGetDlgItem(editor, ID_DATA_ITEMS);
  switch ((*step)++) {
    case 0:
      return XEVUiType("NumberRound(Quantity * ");
    case 1: {
      /* Double-click "Price" in the data items list (sorted: Customer, Price, Quantity). */
      return XEVUiClickListEntry(items, 1, 2);
    }
    case 2:
      XEVUiType(", 2)");
      return XEVUiSendMessage(XEVUiGetDlgItem(editor, ID_NAME), XEV_WM_SETTEXT, 0, (intptr_t) "Amount") != 0;
    case 3:
      return XEVUiClick(XEVUiGetDlgItem(editor, 1)); /* OK */
    default:
      return 0; /* no more input: the editor is cancelled */
  }
}

int main(void) {
  ExprContext* ec = XEVCreateEC(0, NULL, NULL, 0);
  XEVHWND window = XEVUiCreateHostWindow("Report", 0, 0, 800, 600);
  char text[256], name[80];
  int step = 0;
  HEXP saved;

  FUNDefineFunctions(ec);
  AddDataItem(ec, "Customer", XEV_TYPE_STRING);
  AddDataItem(ec, "Price", XEV_TYPE_NUMBER);
  AddDataItem(ec, "Quantity", XEV_TYPE_NUMBER);

  XEVUiSetInputHook(PlayTheUser, &step);
  saved = XEVBuildExpression(window, ec, NULL, 0);
  XEVUiSetInputHook(NULL, NULL);
  if (saved == NULL) {
    fprintf(stderr, "nothing was saved\n");
    return 1;
  }
  XEVGetExpressionName(ec, saved, sizeof name, name);
  XEVGetExpressionText(ec, saved, sizeof text, text);
  printf("%s = %s\n", name, text);

  XEVUiDestroyWindow(window);
  XEVDestroyEC(ec);
  return strcmp(text, "NumberRound(Quantity * Price, 2)") == 0 && strcmp(name, "Amount") == 0 ? 0 : 1;
}
