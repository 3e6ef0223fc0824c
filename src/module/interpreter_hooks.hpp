// Functions of this project that the interpreter calls on its own occasions: at exit (atexit,
// on the exiting thread, before finalisation) and in a child process after os.fork() (on the
// child's only thread). Each hook is a METH_NOARGS method whose definition lives as long as the
// process; both are registered holding the lock, and return false with an exception pending.
#pragma once

#include <Python.h>

namespace obrivane::module {

[[nodiscard]] bool register_at_exit(PyMethodDef& hook);
[[nodiscard]] bool register_after_fork_in_child(PyMethodDef& hook);

}  // namespace obrivane::module
