// The binding as the benchmarks see it. Every call site of LoadIODLL in the programs
// (the primitives, the controller, the bench itself) is routed through a switch at
// link time, so one run can count the binds a call makes and measure the call again
// with binding skipped. The switch adds one relaxed load and a branch per bind.
#pragma once

#include <cstdint>

namespace bench {

enum class Binding {
  bind,   // LoadIODLL as built
  count,  // LoadIODLL as built, counting the calls
  skip,   // nothing: the entry points keep what the last real bind resolved
};

void set_binding(Binding mode);
Binding binding();
uint64_t binds_counted();
void reset_bind_count();

// LoadIODLL itself, past the switch.
int32_t bind_for_real();

// Sets the mode for a scope and puts the previous one back.
class BindingScope {
 public:
  explicit BindingScope(Binding mode) : previous_(binding()) { set_binding(mode); }
  ~BindingScope() { set_binding(previous_); }
  BindingScope(const BindingScope&) = delete;
  BindingScope& operator=(const BindingScope&) = delete;

 private:
  Binding previous_;
};

}  // namespace bench
