#include "module/testing/testing_methods.hpp"

PyMethodDef model_testing_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};
