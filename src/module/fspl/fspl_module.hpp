// The submodule obrivane.fspl, made when obrivane is imported, as os.path is made by os.
#pragma once

#include <Python.h>

namespace obrivane::module::fspl {

// Creates the module object "obrivane.fspl" and registers it in sys.modules, so that both
// `import obrivane.fspl` and `from obrivane import fspl` find it. NumPy is not imported here: the
// ufuncs are made on the first access to any of them. New reference, or null with an exception.
PyObject* create_fspl_module();

}  // namespace obrivane::module::fspl
