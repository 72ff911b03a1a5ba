// The program's own C library functions under other names, so that a test can run them
// beside the platform's library, built with the product's flags for that file.
#define LIBC_SUBSET_NAME(name) Subset_##name
#include "rt/libc_subset.cpp"
