// Method tables of the test-only module, one per area of the numerical core and the models.
// Each table ends with a zeroed sentinel entry.
#pragma once

#include <Python.h>

extern PyMethodDef elliptic_testing_methods[];
extern PyMethodDef quadrature_testing_methods[];
extern PyMethodDef interpolation_testing_methods[];
extern PyMethodDef model_testing_methods[];
extern PyMethodDef profile_testing_methods[];
extern PyMethodDef tabulated_testing_methods[];
extern PyMethodDef boundary_testing_methods[];
extern PyMethodDef allocation_testing_methods[];
extern PyMethodDef runtime_testing_methods[];
extern PyMethodDef exit_testing_methods[];
extern PyMethodDef law_testing_methods[];
