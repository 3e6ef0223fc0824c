#include <pthread.h>

#include "parallel/platform/threads.hpp"

namespace obrivane::parallel::platform {

int install_fork_handlers(void (*before)(), void (*after_in_parent)(), void (*after_in_child)()) noexcept {
  return pthread_atfork(before, after_in_parent, after_in_child);
}

}  // namespace obrivane::parallel::platform
