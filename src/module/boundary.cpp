// Placeholder translation unit of the shared boundary library until the call entry lands.
#include <Python.h>
