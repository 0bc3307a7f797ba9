// Item records of every kind made in one call, for tests, benchmarks and
// fuzz targets alike (no test framework needed).
#pragma once

#include <cstring>
#include <initializer_list>
#include <vector>

#include "xev/xev.h"

namespace testhost {

template <typename Callback>
intptr_t Bound(Callback* callback) {
  return reinterpret_cast<intptr_t>(callback);
}

struct Param {
  int16_t type;
  int16_t byName = 0;
  int16_t subclass = 0;
};

// What an item record holds beyond its kind and name.
struct Item {
  int16_t type = 0;
  intptr_t bound = 0;
  int16_t subclass = 0;
  int16_t subclass2 = 0;
  const char* binding = nullptr;
  uint16_t flags = 0;
  std::vector<Param> params = {};
};

// One record sized for every parameter, since ExpItem holds room for one only.
inline int32_t AddItem(ExprContext* ec, int16_t kind, const char* name, const Item& record = {}) {
  std::vector<unsigned char> bytes(XEV_ITEM_FIXED_SIZE + sizeof(ExpParam) * (record.params.size() + 1));
  auto* item = reinterpret_cast<ExpItem*>(bytes.data());
  item->kind = kind;
  item->dataType = record.type;
  item->boundValue = record.bound;
  item->subclass = record.subclass;
  item->subclass2 = record.subclass2;
  item->bindingName = record.binding;
  item->flags = record.flags;
  item->paramCount = static_cast<int16_t>(record.params.size());
  std::strncpy(item->name, name, sizeof item->name - 1);
  for (size_t i = 0; i < record.params.size(); ++i) {
    const ExpParam entry{record.params[i].byName, record.params[i].type, record.params[i].subclass};
    std::memcpy(bytes.data() + XEV_ITEM_FIXED_SIZE + sizeof(ExpParam) * i, &entry, sizeof entry);
  }
  return XEVAddExpressionItem(ec, item);
}

struct NamedType {
  const char* name;
  int16_t type;
};

// The items the formula corpus (tests/data/formulas/corpus.txt) is written against.
inline const std::vector<NamedType>& CorpusDataItems() {
  static const std::vector<NamedType> items = [] {
    std::vector<NamedType> all;
    const auto add = [&](int16_t type, std::initializer_list<const char*> names) {
      for (const char* name : names) all.push_back({name, type});
    };
    add(XEV_TYPE_NUMBER, {"Amount", "Price", "Quantity", "Discount", "Freight", "Weight", "CustomerNo",
                          "Orders.Lines.Total"});
    add(XEV_TYPE_STRING, {"Customer", "City", "Region", "Country", "ProductName", "Category", "SalesRep",
                          "\"Ship Via\""});
    add(XEV_TYPE_DATETIME, {"OrderDate", "ShipDate", "DueDate", "PaidDate"});
    return all;
  }();
  return items;
}

}  // namespace testhost
