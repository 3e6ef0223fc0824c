#include "module/testing/testing_methods.hpp"

PyMethodDef interpolation_testing_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};
