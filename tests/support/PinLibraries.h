// Keeps every shared library loaded so far in memory until the process exits. OpenGL
// drivers are unloaded when their context goes, and a leak checker can then no longer name
// the driver as the owner of its own allocations, so its suppressions would not match.
#ifndef KOVRA_TESTS_SUPPORT_PINLIBRARIES_H
#define KOVRA_TESTS_SUPPORT_PINLIBRARIES_H

void PinLoadedLibraries();

#endif
