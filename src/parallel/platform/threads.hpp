// What the worker pool needs from the operating system's threads, one implementation per
// platform (posix/ for Linux and macOS, windows/ for Windows): starting a detached thread with a
// stack of a given size, and keeping the pool consistent across fork().
#pragma once

#include <cstddef>

namespace obrivane::parallel::platform {

// Starts a thread that runs entry(argument) and is never joined, with a stack of stack_bytes.
// Returns 0, or an errno value (EAGAIN, ENOMEM, ...) when no thread could be started; ENOSYS or
// ENOTSUP mean the platform has no threads at all.
int start_detached_thread(void (*entry)(void*) noexcept, void* argument, std::size_t stack_bytes) noexcept;

// Arranges for before() to run in the thread that calls fork() before the process is copied,
// and for after_in_parent() / after_in_child() to run in the parent and in the child after it.
// Returns 0 or an errno value. Where processes are never forked this does nothing and succeeds.
int install_fork_handlers(void (*before)(), void (*after_in_parent)(), void (*after_in_child)()) noexcept;

}  // namespace obrivane::parallel::platform
