#pragma once
// Imaging annotations of TIFF files (tag 32932), kept and written back with the
// image. Holds the raw marks until the TIFF codec parses and builds the block;
// the parameter record only clears and copies the store.
#include <cstdint>
#include <vector>

class TLXImagingAnnot {
public:
  int Count() const { return int(objects_.size()); }
  void ClearAnnotations() { objects_.clear(); }
  void AssignAnnotations(const TLXImagingAnnot* source) {
    objects_.clear();
    if (source) objects_ = source->objects_;
  }

private:
  std::vector<std::vector<uint8_t>> objects_;
};
