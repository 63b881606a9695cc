// Readable names of GUIDs for log lines, and the GUID text form.
#pragma once
#include "VarnicaCore.h"

namespace vcore {

// 36 upper-case hexadecimal characters with hyphens, no braces.
struct GuidText {
  char text[37];
  const char* c_str() const { return text; }
};
GuidText GuidToText(const GUID& guid);

// The registered name of guid, or null.
const char* FindGuidName(const GUID& guid);

}  // namespace vcore
