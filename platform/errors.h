#pragma once
// Error classes of the platform layer that the library raises to its callers.
#include <stdexcept>

// A picture that cannot be made or written (the PNG and other writers' errors).
class EInvalidGraphic : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
