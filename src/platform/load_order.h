// Ordering of the library's global initialisers.
#pragma once

// For a global that the library's load step writes, so it must be initialised before that step
// runs. GCC does it at compile time; clang 14 cannot evaluate libstdc++'s std::string constructor
// there (hence no constinit), and the priority runs its initialiser ahead of the load step.
#define MOX_INIT_BEFORE_LOAD_STEP __attribute__((init_priority(101)))
