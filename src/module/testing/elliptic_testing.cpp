#include "module/testing/testing_methods.hpp"

PyMethodDef elliptic_testing_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};
