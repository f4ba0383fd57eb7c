#pragma once
// Metadata that travels with an image through the parameter record: JPEG
// markers and IPTC records.
#include <cstddef>
#include <cstdint>
#include <vector>

// JPEG application and comment segments, in file order.
class TLXMarkerList {
public:
  int Count() const { return int(types_.size()); }
  const uint8_t* MarkerData(int index) const { return data_[size_t(index)].data(); }
  uint8_t MarkerType(int index) const { return types_[size_t(index)]; }
  int MarkerLength(int index) const { return int(data_[size_t(index)].size()); }
  int IndexOf(uint8_t type) const;
  // A segment holds at most 65535 bytes: the length is taken modulo 65536.
  void AddMarker(uint8_t type, const void* data, int64_t length);
  void SetMarker(int index, uint8_t type, int64_t length, const void* data);
  void DeleteMarker(int index);
  void ClearMarkers();
  void AssignMarkers(const TLXMarkerList* source);

private:
  std::vector<std::vector<uint8_t>> data_;
  std::vector<uint8_t> types_;
};

struct TLXIPTCRecordHeader {
  int32_t record = 0;
  int32_t dataset = 0;
  int32_t length = 0;
};

// IPTC records, read from and written to the binary block of JPEG (Photoshop
// resource 0x0404) and TIFF files.
class TLXIPTCInfoList {
public:
  int Count() const { return int(headers_.size()); }
  const TLXIPTCRecordHeader& Header(int index) const { return headers_[size_t(index)]; }
  const std::vector<uint8_t>& Data(int index) const { return data_[size_t(index)]; }
  bool UserChanged = false;

  int AddRecord(int record, int dataset, int length, const void* data);
  void ClearRecords();
  void AssignRecords(const TLXIPTCInfoList* source);
  // Empty list: empty block.
  std::vector<uint8_t> SaveToBlock(bool withPhotoshopHeader) const;
  void LoadFromBlock(const void* data, int64_t length);

private:
  std::vector<TLXIPTCRecordHeader> headers_;
  std::vector<std::vector<uint8_t>> data_;
};
