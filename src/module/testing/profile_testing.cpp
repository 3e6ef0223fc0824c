#include "module/testing/testing_methods.hpp"

PyMethodDef profile_testing_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};
