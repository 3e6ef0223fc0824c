#include "module/testing/testing_methods.hpp"

PyMethodDef quadrature_testing_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};
