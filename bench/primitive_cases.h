// The primitives measured, each with the bare port traffic it needs: the same
// PortOut/PortIn calls, made directly through the resolved entry points.
#pragma once

#include <vector>

namespace bench {

struct PrimitiveCase {
  const char* name;
  void (*prepare)();  // brings the output image to where `bare` writes the same bytes
  void (*call)();
  void (*bare)();     // null when the primitive makes no port traffic of its own
};

const std::vector<PrimitiveCase>& primitive_cases();

}  // namespace bench
