#include "store/DataSetValue.h"

namespace ff {

Value asDataSetValue(Value v) {
  if (std::holds_alternative<ScaledCurrency>(v)) return valueToDouble(v);
  return v;
}

}  // namespace ff
