// What the formula language offers the other subsystems: the parse tree, the
// token codes, the scanner's interface to the parser, and the module-wide
// parse state shared by the scanner, the parser and the parse entry points.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "core/expr_node.h"
#include "xev/xev.h"

namespace xev::language {

// ---- Parse tree ---------------------------------------------------------------
// The tree's data lives in core (core/expr_node.h), which owns trees through
// expression records; the language builds, walks and releases them.
using core::ExprNode;
using core::IsOperatorKind;
using core::kCallQuantifier;
using core::kCallStar;
using core::kStringEscaped;
using core::NodeKind;
using enum core::NodeKind;

// Releases a node and everything it owns; nullptr is ignored. Never recurses.
void ReleaseTree(ExprContext* ec, ExprNode* node);
// After a successful parse: seals the tree when it alone holds the parse's
// node blocks (see node_blocks.cpp). ReleaseSealedTree gives back a sealed
// tree's blocks at once (false, doing nothing, for any other node);
// BreakSeal ends the seal of the tree that holds node.
void SealParsedTree(const ExprNode* root);
bool ReleaseSealedTree(const ExprNode* root);
void BreakSeal(const ExprNode* node);

// Node storage. The parser takes the nodes of a parse, and the names,
// numbers and texts they hold, from blocks of several nodes; FreeNode gives
// a node back (what the node owns is the caller's), ReleaseBlockValue a
// value. Both allocators return nullptr when memory is short.
ExprNode* AllocateNode();
void FreeNode(ExprNode* node);
void* AllocateValue(uint32_t bytes);
void ReleaseBlockValue(void* value);
// Releases what a leaf or call node holds in left, wherever it came from.
void ReleaseNodeValue(ExprNode* node);
// Renaming an item in a tree: NewNodeName makes a name the way the node
// keeps its name (nullptr when memory is short), RenameNode gives it to the
// node, DropNodeName releases one that was not used. A name that fits where
// the node's old one lies is copied there, so a rename and its way back
// leave as many host blocks as there were.
void* NewNodeName(const ExprNode* node, const char* name);
void RenameNode(ExprNode* node, void* name);
void DropNodeName(const ExprNode* node, void* name);
// The bytes a value from AllocateValue may hold.
uint32_t BlockValueCapacity(const void* value);

// ---- Tokens ---------------------------------------------------------------------
enum TokenCode : int32_t {
  TK_END = 0,
  TK_NUMBER = 257,
  TK_NAME = 258,
  TK_FUNCTION = 259,
  TK_NILADIC = 260,
  TK_STRING = 262,
  TK_DATE = 263,
  TK_CONCAT = 264,
  TK_BADCHAR = 265,
  TK_DATEUNIT = 266,
  TK_SETQUANT = 267,
  TK_NOMEM = 268,
  TK_AND = 269,
};

enum DateUnit : uint16_t { DU_DAY = 1, DU_MONTH = 2, DU_YEAR = 4, DU_HOUR = 8, DU_MINUTE = 16, DU_SECOND = 32 };
enum Quantifier : uint16_t { QU_NONE = 0, QU_DISTINCT = 1, QU_ALL = 2 };

struct TokenValue {
  uint32_t pos;
  uint32_t len;
  void* value;  // owned by whoever receives it (the parser)
};

// ---- Scanner ------------------------------------------------------------------------
// Starts scanning text for ec (the default context when ec is null is the
// caller's business) and clears every piece of scanner state, the pending
// DateUnit and quantifier, the rejected date and the error record.
void ScannerReset(const char* text, ExprContext* ec, bool nameCheckMode);
// Starts the same text over, as ScannerReset did.
void ScannerRestart();

// What the scanner shares with the parsers and the tree's actions, which
// read it for every token and node: one record per thread, read in place.
struct ScanShared {
  TokenValue token;  // the token scanned last (the end keeps the span before it)
  ExprContext* ec;
  uint16_t pendingDateUnit;
  bool nameCheckMode;
};
extern constinit thread_local ScanShared t_scanShared;

inline const TokenValue& CurrentToken() { return t_scanShared.token; }
// For the direct parser's byte reader, which keeps the record as the scanner would.
inline TokenValue& TokenRecord() { return t_scanShared.token; }
inline ExprContext* ScanContext() { return t_scanShared.ec; }
inline bool NameCheckMode() { return t_scanShared.nameCheckMode; }
inline uint16_t PendingDateUnit() { return t_scanShared.pendingDateUnit; }
inline void ClearPendingDateUnit() { t_scanShared.pendingDateUnit = 0; }

// The next token; fills the token value record. Its value is a host block,
// or while ParseTokens runs, a value from the parse's node blocks.
int32_t NextToken();
// Gives back a token value the parser did not use.
void ReleaseTokenValue(void* value);
// Set while ParseTokens runs: values go where the tree's nodes go.
void ScanValuesIntoNodeBlocks(bool enabled);
// For the direct parser's byte reader (fast_parse.cpp), which reads the text
// itself: the text, and the state the scanner ends in once the whole text is
// read.
const char* ScannedText();
void ScannerReachedEnd(uint32_t textLength);
// Bytes read from the text, plus 1 once the virtual trailing blank was delivered.
uint32_t CurrentOffset();
// Byte length of the text being scanned.
uint32_t ScannedTextLength();
// Whether a word, in any case, is a date unit keyword (DAY, Months, ...).
bool IsDateUnitWord(const char* word, size_t len);
// Reads and clears the pending quantifier.
uint16_t TakePendingQuantifier();
// Whether names, numbers and operators are told by their first bytes before
// the automaton is asked (the default). Off, every token goes through the
// automaton: the tests compare both ways of scanning.
void SetScannerShortcuts(bool enabled);
// The first date constant rejected by the host date check in this parse.
bool RejectedDate(uint32_t* pos, uint32_t* len);

// ---- Parse state and parser --------------------------------------------------------------
// The table parser's state stack holds this many states and refuses deeper
// nesting as too complex; the direct parser's own nesting limit is derived
// from it (fast_parse.cpp), so that the refusal is always the table parser's.
constexpr int kParserStackStates = 150;
// The error record of the current parse (the scanner records 112 here).
ExprError& ParseError();
// Parses the text given to ScannerReset: 0 with the root in ParseRoot(), or 1
// with the error in ParseError().
int32_t ParseTokens();
ExprNode* ParseRoot();
// Hands the root over to the caller (the parse state forgets it).
ExprNode* TakeParseRoot();
// After a successful parse: whether the tree names another formula anywhere.
bool ParsedTreeHasFormulaReference();
// Whether common formulas are parsed directly before the table parser is
// asked (the default). Off, every parse goes through the table parser: the
// tests compare both ways of parsing.
void SetParserFastPath(bool enabled);
// Whether the last parse on this thread was made by the direct parser.
bool LastParseTookFastPath();
// Whether the direct parser reads ordinary formulas from their bytes itself
// before it asks the scanner (the default). Off, it always takes the
// scanner's tokens: the tests compare both ways.
void SetParserReadsBytes(bool enabled);
// Whether the last parse on this thread was made from the bytes.
bool LastParseReadBytes();

}  // namespace xev::language
