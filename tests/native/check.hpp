// A minimal harness for the native tests: CHECK records a failed condition with its location
// and goes on; a program ends with exit_status(), nonzero when any check failed.
#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace native_test {

inline std::atomic<int> failures{0};

inline void record_failure(const char* condition, const char* file, int line) {
  failures.fetch_add(1);
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
}

inline int exit_status(const char* program) {
  const int failed = failures.load();
  if (failed == 0) {
    std::printf("%s: all checks passed\n", program);
    return EXIT_SUCCESS;
  }
  std::printf("%s: %d checks failed\n", program, failed);
  return EXIT_FAILURE;
}

}  // namespace native_test

#define CHECK(condition)                                                             \
  do {                                                                               \
    if (!(condition)) ::native_test::record_failure(#condition, __FILE__, __LINE__); \
  } while (false)
