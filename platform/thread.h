#pragma once
// Identity of threads, so that work started elsewhere can tell whether it runs
// on the user-interface thread.
#include <cstdint>

using TThreadId = uint64_t;

// The kernel's identifier of the calling thread.
TThreadId CurrentThreadId();
