// Windows processes are never forked (a new process starts from scratch and loads the module
// anew), so there is no pool to carry over and nothing to install.
#include "parallel/platform/threads.hpp"

namespace obrivane::parallel::platform {

int install_fork_handlers(void (*)(), void (*)(), void (*)()) noexcept { return 0; }

}  // namespace obrivane::parallel::platform
