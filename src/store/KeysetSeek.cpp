#include "store/KeysetSeek.h"

namespace ff {

std::string KeysetCondition(std::size_t fields, const KeyTerm& beyond, const KeyTerm& equal,
                            const std::string& idPast, const Value& id, std::vector<Value>& params) {
  std::string any;
  std::string prefix;
  std::vector<Value> prefixParams;
  for (std::size_t i = 0; i < fields; ++i) {
    params.insert(params.end(), prefixParams.begin(), prefixParams.end());
    any += "(" + prefix + beyond(i, params) + ") OR ";
    prefix += equal(i, prefixParams) + " AND ";
  }
  params.insert(params.end(), prefixParams.begin(), prefixParams.end());
  params.push_back(id);
  return any + "(" + prefix + idPast + ")";
}

}  // namespace ff
