// What a data set shows of a stored value.
#pragma once

#include "store/Value.h"

namespace ff {

// v as a data set shows it: currency as a double, as the classic framework holds it. The exact
// amount of a .ff2 file is for those who read the storage itself (a conversion).
Value asDataSetValue(Value v);

}  // namespace ff
