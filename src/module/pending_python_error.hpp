// Thrown where a C API call has failed and left its exception pending (a MemoryError from
// PyList_New, say): the call entry then returns that very exception to the caller.
#pragma once

namespace obrivane::module {

struct PendingPythonError {};

}  // namespace obrivane::module
