#pragma once
// Memory status of the machine.
#include <cstdint>
#include <string>

// Bytes of physical memory available to new work (MemAvailable); 0 when the
// system does not tell.
int64_t AvailablePhysicalMemory();
// The MemAvailable figure of a /proc/meminfo text, in bytes; 0 when absent.
int64_t ParseMemAvailable(const std::string& meminfo);
