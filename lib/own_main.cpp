// For programs with a main of their own that link the library without its
// entry point (the tests, the benchmarks): what every program refers to,
// which otherwise comes with the library's main.
#include "runtime.h"

const int slate::EntryPoint = 1;
