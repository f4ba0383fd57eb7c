#include "platform/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

TThreadId CurrentThreadId() { return TThreadId(::syscall(SYS_gettid)); }
