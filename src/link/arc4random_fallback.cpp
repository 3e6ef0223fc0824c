// Linked into the extension module only when the C++ runtime is linked statically on Linux.
//
// GCC 12's static libstdc++ draws std::random_device into every program that uses its strings
// and streams, and std::random_device refers to arc4random, which glibc provides only from 2.36
// on. The module never creates a std::random_device; without this definition that one
// unused reference alone would raise the glibc the module needs from 2.34 (its threads) to
// 2.36. This hidden definition satisfies the reference inside the module, from getentropy
// (glibc 2.25), and is visible to nothing outside it.
#include <unistd.h>

#include <cstdint>

extern "C" __attribute__((visibility("hidden"))) std::uint32_t arc4random() {
  std::uint32_t value = 0;
  if (getentropy(&value, sizeof value) != 0) __builtin_trap();
  return value;
}
