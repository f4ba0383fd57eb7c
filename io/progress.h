#pragma once
// The progress record every codec receives for one call.
#include <atomic>
#include <cstdint>

using TIOProgressCallback = void (*)(void* context, void* sender, int percent);

struct TIOProgress {
  TIOProgressCallback callback = nullptr;
  void* context = nullptr;
  void* sender = nullptr;
  int32_t counter = 0;
  int32_t counter2 = 0;
  double step = 0;
  double step2 = 0;
  std::atomic<bool>* abort = nullptr;

  bool Aborted() const { return abort && abort->load(std::memory_order_relaxed); }
  void Abort() { if (abort) abort->store(true, std::memory_order_relaxed); }
  // Reports Trunc(done * step) percent when a callback is assigned.
  void Report(double done) const {
    if (callback) callback(context, sender, static_cast<int>(done * step));
  }
};

class TStream;
// The checked write of every codec: sets AbortFlag when the stream takes fewer bytes.
bool SafeStreamWrite(TStream& stream, TIOProgress& progress, const void* buffer, int64_t count);
