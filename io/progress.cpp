#include "io/progress.h"

#include "platform/stream.h"

bool SafeStreamWrite(TStream& stream, TIOProgress& progress, const void* buffer, int64_t count) {
  if (stream.Write(buffer, count) != count) {
    progress.Abort();
    return false;
  }
  return true;
}
