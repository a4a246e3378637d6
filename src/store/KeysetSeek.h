// The SQL condition that selects the rows after a key in an order of several fields ending in
// the row id, for back ends that page through tables by key rather than by OFFSET:
// (a > ?) OR (a = ? AND b > ?) OR (a = ? AND b = ? AND id > ?).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "store/Value.h"

namespace ff {

// A term on the order's i-th field; appends the values of its placeholders to params.
using KeyTerm = std::function<std::string(std::size_t i, std::vector<Value>& params)>;

// `fields` order fields: beyond(i) is "field i lies past the key", equal(i) "field i equals
// the key"; idPast is the condition on the row id with one placeholder, bound to id. The
// equalities repeat in every later term, and so do their values, in placeholder order.
std::string KeysetCondition(std::size_t fields, const KeyTerm& beyond, const KeyTerm& equal,
                            const std::string& idPast, const Value& id, std::vector<Value>& params);

}  // namespace ff
