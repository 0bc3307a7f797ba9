// The formulas of a context and what each one names directly, read once
// through the engine's reference listing. Questions that follow references
// through other formulas (does it call an aggregate, which data items does it
// read) are then answered for every formula in one walk over the graph,
// instead of one walk of the engine's per formula and question, which made a
// report's set-up grow with the square of its formulas, and a chain's with
// the cube.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formulas/formulas.h"
#include "xev/xev.h"

namespace xevhost {

class FormulaGraph {
 public:
  // Ends the run as out of memory when the engine cannot list a formula's
  // references: a graph with references missing would answer wrongly.
  explicit FormulaGraph(ExprContext* ec);

  const std::vector<FormulaEntry>& formulas() const { return formulas_; }
  // -1 for an expression the graph does not hold (parsed after it was read).
  int IndexOf(HEXP exp) const;
  int IndexOfName(const std::string& name) const;
  // The formulas this one names, each as often as it is written.
  const std::vector<int>& Uses(size_t index) const { return nodes_[index].formulas; }
  // Whether the formula calls an aggregate itself, and whether it does so
  // itself or through any formula it reaches.
  bool CallsAggregate(size_t index) const { return nodes_[index].callsAggregate; }
  bool UsesAggregate(size_t index) const { return usesAggregate_[index]; }

  // The data items the expressions read, themselves or through the formulas
  // they reach; an expression outside the graph has its references listed.
  std::unordered_set<std::string> ItemsReadBy(const std::vector<HEXP>& exps) const;

 private:
  struct Node {
    std::vector<int> formulas;
    std::vector<int> items;  // into itemNames_
    bool callsAggregate = false;
  };
  void AddReferences(HEXP exp, Node& node);

  ExprContext* ec_;
  std::vector<FormulaEntry> formulas_;
  std::unordered_map<HEXP, int> byExp_;
  std::unordered_map<std::string, int> byName_;
  std::vector<std::string> itemNames_;
  std::unordered_map<std::string, int> itemIds_;
  std::unordered_map<std::string, bool> aggregateFunctions_;
  std::vector<Node> nodes_;
  std::vector<bool> usesAggregate_;
};

// For every node of a graph given by its edges (node -> the nodes it uses):
// whether it is marked or reaches a marked node. Each edge is followed once,
// backwards from the marked nodes, so cycles and long chains cost no more
// than their edges.
std::vector<bool> MarkedOrReaching(const std::vector<std::vector<int>>& edges, std::vector<bool> marked);

}  // namespace xevhost
