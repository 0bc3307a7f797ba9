#include "formulas/formula_graph.h"

#include "commands/out_of_memory.h"

namespace xevhost {

std::vector<bool> MarkedOrReaching(const std::vector<std::vector<int>>& edges, std::vector<bool> marked) {
  std::vector<std::vector<int>> users(edges.size());
  for (size_t from = 0; from < edges.size(); ++from)
    for (int to : edges[from]) users[static_cast<size_t>(to)].push_back(static_cast<int>(from));
  std::vector<int> queue;
  for (size_t i = 0; i < marked.size(); ++i)
    if (marked[i]) queue.push_back(static_cast<int>(i));
  for (size_t next = 0; next < queue.size(); ++next) {
    for (int user : users[static_cast<size_t>(queue[next])]) {
      if (marked[static_cast<size_t>(user)]) continue;
      marked[static_cast<size_t>(user)] = true;
      queue.push_back(user);
    }
  }
  return marked;
}

FormulaGraph::FormulaGraph(ExprContext* ec) : ec_(ec), formulas_(ListFormulas(ec)) {
  for (size_t i = 0; i < formulas_.size(); ++i) {
    byExp_.emplace(formulas_[i].exp, static_cast<int>(i));
    byName_.emplace(formulas_[i].name, static_cast<int>(i));  // the first of a name, as the engine finds it
  }
  nodes_.resize(formulas_.size());
  std::vector<std::vector<int>> edges(formulas_.size());
  std::vector<bool> calls(formulas_.size());
  for (size_t i = 0; i < formulas_.size(); ++i) {
    AddReferences(formulas_[i].exp, nodes_[i]);
    edges[i] = nodes_[i].formulas;
    calls[i] = nodes_[i].callsAggregate;
  }
  usesAggregate_ = MarkedOrReaching(edges, std::move(calls));
}

void FormulaGraph::AddReferences(HEXP exp, Node& node) {
  std::vector<FormulaReference> references;
  if (!ListReferences(ec_, exp, references)) OutOfMemory();
  for (const FormulaReference& r : references) {
    if (r.kind == XEV_ITEM_FORMULA) {
      int used = IndexOfName(r.name);
      if (used >= 0) node.formulas.push_back(used);
    } else if (r.kind == XEV_ITEM_FUNCTION) {
      auto known = aggregateFunctions_.find(r.name);
      if (known == aggregateFunctions_.end())
        known = aggregateFunctions_.emplace(r.name, XEVIsItemAggregate(ec_, XEV_ITEM_FUNCTION, r.name.c_str()) == 1).first;
      node.callsAggregate = node.callsAggregate || known->second;
    } else if (r.kind == XEV_ITEM_DATA) {
      auto [id, added] = itemIds_.emplace(r.name, static_cast<int>(itemNames_.size()));
      if (added) itemNames_.push_back(r.name);
      node.items.push_back(id->second);
    }
  }
}

int FormulaGraph::IndexOf(HEXP exp) const {
  auto found = byExp_.find(exp);
  return found == byExp_.end() ? -1 : found->second;
}

int FormulaGraph::IndexOfName(const std::string& name) const {
  auto found = byName_.find(name);
  return found == byName_.end() ? -1 : found->second;
}

std::unordered_set<std::string> FormulaGraph::ItemsReadBy(const std::vector<HEXP>& exps) const {
  std::unordered_set<std::string> items;
  std::vector<bool> seen(nodes_.size());
  std::vector<int> queue;
  auto reach = [&](int index) {
    if (seen[static_cast<size_t>(index)]) return;
    seen[static_cast<size_t>(index)] = true;
    queue.push_back(index);
  };
  for (HEXP exp : exps) {
    if (exp == nullptr) continue;
    if (int index = IndexOf(exp); index >= 0) {
      reach(index);
      continue;
    }
    std::vector<FormulaReference> references;
    if (!ListReferences(ec_, exp, references)) OutOfMemory();
    for (const FormulaReference& r : references) {
      if (r.kind == XEV_ITEM_DATA) items.insert(r.name);
      if (int used = r.kind == XEV_ITEM_FORMULA ? IndexOfName(r.name) : -1; used >= 0) reach(used);
    }
  }
  for (size_t next = 0; next < queue.size(); ++next) {
    const Node& node = nodes_[static_cast<size_t>(queue[next])];
    for (int item : node.items) items.insert(itemNames_[static_cast<size_t>(item)]);
    for (int used : node.formulas) reach(used);
  }
  return items;
}

}  // namespace xevhost
