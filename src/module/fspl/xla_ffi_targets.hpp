// The kernels of the brightness laws as XLA FFI handlers, for the JAX binding obrivane_jax.
//
// The module obrivane._xla_ffi (registered in sys.modules when obrivane is initialised, not an
// attribute of obrivane) holds `targets`, a dictionary from target name to a capsule of the
// handler's address, which jax.ffi.register_ffi_target registers for the CPU. Each handler speaks
// the C ABI of XLA's foreign-function interface, whose header (from jaxlib) the build needs; a
// build without it leaves the dictionary empty. Nothing here imports JAX: only obrivane_jax does.
#pragma once

#include <Python.h>

namespace obrivane::module::fspl {

// The module obrivane._xla_ffi, or null with an exception set.
PyObject* create_xla_ffi_module();

}  // namespace obrivane::module::fspl
