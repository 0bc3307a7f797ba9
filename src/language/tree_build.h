// What the grammar's actions call: node construction with every check made
// while a tree is built. The actions stay one line each; the rules about
// types, arity, positions and error spans live here.
#pragma once

#include <cstdint>

#include "core/handle_array.h"
#include "language/language.h"

namespace xev::language {

// One entry of the parser's value stack: the span of the symbol's first
// token and what the symbol carries (a token's value, a node, or the handle
// of a list of nodes).
struct ParseValue {
  uint32_t pos;
  uint32_t len;
  void* value;
};

// How a call was written, one per call production.
enum class CallForm {
  kNiladic,          // @PI
  kStar,             // F(*)
  kQuantifierEmpty,  // F(DISTINCT)
  kEmpty,            // F()
  kQuantifierArgs,   // F(DISTINCT x)
  kArgs,             // F(x, y)
};

// Clears the parser's own state before a parse.
void ParserBegin();
// The direct parser for common formulas (fast_parse.cpp): true with the root
// stored; false with nothing made and the scanner and parser state reset for
// the table parser.
bool ParseCommonShapes();
// Ends the parse's use of its node block: no later parse takes nodes from it.
void CloseNodeBlock();
// Records a syntax error or stack overflow at the scanner's position.
void ReportParserMessage(const char* message);
// The root stored by a finished goal; released by the caller on failure.
ExprNode*& PendingRoot();

// Actions. Each one owns the values it is given: on failure (false) it has
// released them and recorded the error, and the grammar aborts.
bool MakeLeaf(ParseValue& out, const ParseValue& token, NodeKind kind);
bool MakeNegativeNumber(ParseValue& out, const ParseValue& number);
bool MakeOperator(ParseValue& out, const ParseValue& left, const ParseValue& op, const ParseValue& right,
                  NodeKind kind, bool withDateUnit);
bool MakeCall(ParseValue& out, const ParseValue& function, const ParseValue* marker, const ParseValue* args,
              CallForm form);
bool StartList(ParseValue& out, const ParseValue& expr);
bool AppendToList(ParseValue& out, const ParseValue& list, const ParseValue& expr);
bool FinishFormula(const ParseValue& expr);
bool FinishSet(const ParseValue& list);
bool FinishRange(const ParseValue& low, const ParseValue& high);
void ReportNoMemoryToken();
void ReportBadCharacter(const ParseValue& token);

// Releases a list of nodes with its elements (the parser's destructor).
void ReleaseNodeList(void* list);

}  // namespace xev::language
