// The entry point of core_tests: doctest's own runner over every tests/core/*_test.cpp.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>
