#pragma once
// In-memory stand-ins for the window's image list and fields.

#include "project/fields.h"

namespace kelbo::test {

using PlainList = MemoryList;
using PlainField = MemoryField;

} // namespace kelbo::test
