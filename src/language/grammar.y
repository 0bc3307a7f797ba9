/* The formula grammar. Bison generates an LALR(1) table parser from it; the
 * actions only pass their symbols to tree_build.cpp, where nodes are made and
 * checked. The parser stops at the first error: there is no error token and
 * no recovery, and the destructors release whatever is still on the stacks.
 *
 * Default reductions are taken without reading a look-ahead token, as a
 * classic yacc parser does. That is observable: operator nodes take the span
 * of the most recently scanned token, and a syntax error is reported at the
 * scanner's position, so both depend on exactly when tokens are read. */

%define api.pure full
%define api.prefix {xev_yy}
%define api.token.prefix {T_}
%define api.value.type {xev::language::ParseValue}
%define parse.error simple
%define lr.default-reduction most
%expect 0

%code requires {
#include "language/tree_build.h"
}

%code provides {
int xev_yylex(XEV_YYSTYPE* value);
void xev_yyerror(const char* message);
}

%code top {
/* The state stack holds kParserStackStates states. Bison asks for more room
 * when the last slot is filled, so one spare slot makes the last state fit
 * and the next overflow. Stack overflow is reported as "memory exhausted".
 * The macros are read only inside the parser, after language.h is in. */
#define YYINITDEPTH (xev::language::kParserStackStates + 1)
#define YYMAXDEPTH (xev::language::kParserStackStates + 1)
#define YYSTACK_USE_ALLOCA 0
}

%code {
using namespace xev::language;
}

%token NUMBER NAME FUNCTION NILADIC STRING DATE CONCAT BADCHAR DATEUNIT SETQUANT NOMEM AND

%left '+' '-'
%left '*' '/'
%left '%'
%left CONCAT
/* A date unit after the right operand of '+' or '-' belongs to that operator. */
%precedence DATEUNIT

%destructor { ReleaseTokenValue($$.value); } NUMBER NAME FUNCTION NILADIC STRING DATE
%destructor { ReleaseTree(ScanContext(), static_cast<ExprNode*>($$.value)); } expr const call
%destructor { ReleaseNodeList($$.value); } list1 list2 args

%start goal

%%

goal
  : expr                      { if (!FinishFormula($1)) YYABORT; }
  | list2                     { if (!FinishSet($1)) YYABORT; }
  | expr AND expr             { if (!FinishRange($1, $3)) YYABORT; }
  ;

list1
  : expr                      { if (!StartList($$, $1)) YYABORT; }
  ;

list2
  : list1 ',' expr            { if (!AppendToList($$, $1, $3)) YYABORT; }
  | list2 ',' expr            { if (!AppendToList($$, $1, $3)) YYABORT; }
  ;

args
  : list1
  | list2
  ;

expr
  : expr '+' expr             { ClearPendingDateUnit(); if (!MakeOperator($$, $1, $2, $3, NK_ADD, false)) YYABORT; }
  | expr '-' expr             { ClearPendingDateUnit(); if (!MakeOperator($$, $1, $2, $3, NK_SUB, false)) YYABORT; }
  | expr '*' expr             { if (!MakeOperator($$, $1, $2, $3, NK_MUL, false)) YYABORT; }
  | expr '/' expr             { if (!MakeOperator($$, $1, $2, $3, NK_DIV, false)) YYABORT; }
  | expr '%' expr             { if (!MakeOperator($$, $1, $2, $3, NK_MOD, false)) YYABORT; }
  | '(' expr ')'              { $$.value = $2.value; }
  | expr CONCAT expr          { if (!MakeOperator($$, $1, $2, $3, NK_CONCAT, false)) YYABORT; }
  | expr '-' expr DATEUNIT    { if (!MakeOperator($$, $1, $2, $3, NK_SUB, true)) YYABORT; }
  | expr '+' expr DATEUNIT    { if (!MakeOperator($$, $1, $2, $3, NK_ADD, true)) YYABORT; }
  | NOMEM                     { $$.value = nullptr; ReportNoMemoryToken(); YYABORT; }
  | BADCHAR                   { $$.value = nullptr; ReportBadCharacter($1); YYABORT; }
  | call
  | NAME                      { if (!MakeLeaf($$, $1, NK_ITEM)) YYABORT; }
  | const
  ;

const
  : '-' NUMBER                { if (!MakeNegativeNumber($$, $2)) YYABORT; }
  | DATE                      { if (!MakeLeaf($$, $1, NK_DATE)) YYABORT; }
  | STRING                    { if (!MakeLeaf($$, $1, NK_STRING)) YYABORT; }
  | NUMBER                    { if (!MakeLeaf($$, $1, NK_NUMBER)) YYABORT; }
  ;

call
  : NILADIC                   { if (!MakeCall($$, $1, nullptr, nullptr, CallForm::kNiladic)) YYABORT; }
  | FUNCTION '*' ')'          { if (!MakeCall($$, $1, &$2, nullptr, CallForm::kStar)) YYABORT; }
  | FUNCTION SETQUANT ')'     { if (!MakeCall($$, $1, &$2, nullptr, CallForm::kQuantifierEmpty)) YYABORT; }
  | FUNCTION ')'              { if (!MakeCall($$, $1, nullptr, nullptr, CallForm::kEmpty)) YYABORT; }
  | FUNCTION SETQUANT args ')' { if (!MakeCall($$, $1, &$2, &$3, CallForm::kQuantifierArgs)) YYABORT; }
  | FUNCTION args ')'         { if (!MakeCall($$, $1, nullptr, &$2, CallForm::kArgs)) YYABORT; }
  ;

%%

/* The scanner's token codes are mapped onto the parser's; anything the
 * grammar does not know (such as '<' or '{') becomes the undefined token,
 * which is a syntax error wherever it appears. */
int xev_yylex(XEV_YYSTYPE* value) {
  int32_t token = NextToken();
  const TokenValue& scanned = CurrentToken();
  value->pos = scanned.pos;
  value->len = scanned.len;
  value->value = nullptr;
  switch (token) {
    case TK_END: return T_YYEOF;
    case TK_NUMBER: value->value = scanned.value; return T_NUMBER;
    case TK_NAME: value->value = scanned.value; return T_NAME;
    case TK_FUNCTION: value->value = scanned.value; return T_FUNCTION;
    case TK_NILADIC: value->value = scanned.value; return T_NILADIC;
    case TK_STRING: value->value = scanned.value; return T_STRING;
    case TK_DATE: value->value = scanned.value; return T_DATE;
    case TK_CONCAT: return T_CONCAT;
    case TK_BADCHAR: return T_BADCHAR;
    case TK_DATEUNIT: return T_DATEUNIT;
    case TK_SETQUANT: return T_SETQUANT;
    case TK_NOMEM:
      // Recorded now: the token may come where the grammar expects no
      // expression (after a unary minus), and a syntax error must not hide it.
      ReportNoMemoryToken();
      return T_NOMEM;
    case TK_AND: return T_AND;
    case '%': case '(': case ')': case '*': case '+': case ',': case '-': case '/':
      return token;
    default:
      return T_XEV_YYUNDEF;
  }
}

void xev_yyerror(const char* message) { ReportParserMessage(message); }

namespace xev::language {

int32_t ParseTokens() {
  ParserBegin();
  ScanValuesIntoNodeBlocks(true);
  int32_t result = 0;
  if (!ParseCommonShapes() && xev_yyparse() != 0) {
    ReleaseTree(ScanContext(), PendingRoot());
    PendingRoot() = nullptr;
    result = 1;
  }
  ScanValuesIntoNodeBlocks(false);
  CloseNodeBlock();
  if (result == 0) SealParsedTree(PendingRoot());
  return result;
}

ExprNode* ParseRoot() { return PendingRoot(); }

ExprNode* TakeParseRoot() {
  ExprNode* root = PendingRoot();
  PendingRoot() = nullptr;
  return root;
}

}  // namespace xev::language
