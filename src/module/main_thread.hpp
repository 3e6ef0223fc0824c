// Which thread is the interpreter's main thread, the only one where signal handlers run.
//
// Recorded when a module is created, from threading.main_thread() (the module need not be
// imported from the main thread), and again in a forked child, whose only thread becomes its
// main thread. Comparing thread identifiers needs neither the lock nor private interpreter API.
#pragma once

namespace obrivane::module {

// Records the main thread and keeps it recorded across os.fork(); called holding the lock when
// a module is created. Returns false with an exception pending.
[[nodiscard]] bool record_main_thread();

// Whether the calling thread is the main thread (callable with or without the lock).
[[nodiscard]] bool on_main_thread() noexcept;

}  // namespace obrivane::module
