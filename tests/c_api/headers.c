/* Compiled as C99 with -Wpedantic -Werror: the public headers must stay C. */
#include "xev/xev.h"
#include "xev/xevhost.h"
#include "xev/xevtable.h"
#include "xev/xevui.h"

int xev_c_headers_compile(void);
int xev_c_headers_compile(void) {
  ExprError error = {0, 0, 0};
  NumberValue n;
  NumberSetNull(&n);
  XevColumn column = {XEV_COLUMN_INT64, 0, 0, 0, 0, 0, 0};
  XEVUiWindowInfo info;
  info.kind = XEV_UI_DIALOG;
  return (int)error.code + (int)sizeof(ExpItem) + (int)n.bytes[0] + info.kind + column.kind;
}
