// Detached POSIX threads with a chosen stack size: the default differs widely between systems
// (the `ulimit -s` size, often 8 MiB, on Linux; 512 KiB on macOS), and the pool wants the same
// size everywhere.
#include <pthread.h>

#include <cerrno>
#include <new>

#include "parallel/platform/threads.hpp"

namespace obrivane::parallel::platform {
namespace {

struct ThreadStart {
  void (*entry)(void*) noexcept;
  void* argument;
};

void* thread_main(void* argument) {
  const ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  start.entry(start.argument);
  return nullptr;
}

}  // namespace

int start_detached_thread(void (*entry)(void*) noexcept, void* argument, std::size_t stack_bytes) noexcept {
  auto* start = new (std::nothrow) ThreadStart{entry, argument};
  if (start == nullptr) return ENOMEM;
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error != 0) {
    delete start;
    return error;
  }
  error = pthread_attr_setstacksize(&attributes, stack_bytes);
  if (error == 0) error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  if (error == 0) error = pthread_create(&thread, &attributes, thread_main, start);
  pthread_attr_destroy(&attributes);
  if (error != 0) delete start;
  return error;
}

}  // namespace obrivane::parallel::platform
