#include "image/metadata.h"

#include <cstring>

#include "platform/bytes.h"

int TLXMarkerList::IndexOf(uint8_t type) const {
  for (size_t i = 0; i < types_.size(); ++i)
    if (types_[i] == type) return int(i);
  return -1;
}

static std::vector<uint8_t> SegmentCopy(const void* data, int64_t length) {
  const size_t n = size_t(uint64_t(length) % 65536u);
  std::vector<uint8_t> v(n);
  if (n && data) std::memcpy(v.data(), data, n);
  return v;
}

void TLXMarkerList::AddMarker(uint8_t type, const void* data, int64_t length) {
  data_.push_back(SegmentCopy(data, length));
  types_.push_back(type);
}

void TLXMarkerList::SetMarker(int index, uint8_t type, int64_t length, const void* data) {
  if (index < 0 || index >= Count()) return;
  data_[size_t(index)] = SegmentCopy(data, length);
  types_[size_t(index)] = type;
}

void TLXMarkerList::DeleteMarker(int index) {
  if (index < 0 || index >= Count()) return;
  data_.erase(data_.begin() + index);
  types_.erase(types_.begin() + index);
}

void TLXMarkerList::ClearMarkers() {
  data_.clear();
  types_.clear();
}

void TLXMarkerList::AssignMarkers(const TLXMarkerList* source) {
  if (!source || source == this) return;
  ClearMarkers();
  data_ = source->data_;
  types_ = source->types_;
}

int TLXIPTCInfoList::AddRecord(int record, int dataset, int length, const void* data) {
  if (length < 0) length = 0;
  headers_.push_back({record, dataset, length});
  std::vector<uint8_t> v(static_cast<size_t>(length));
  if (length && data) std::memcpy(v.data(), data, size_t(length));
  data_.push_back(std::move(v));
  UserChanged = true;
  return Count() - 1;
}

void TLXIPTCInfoList::ClearRecords() {
  headers_.clear();
  data_.clear();
  UserChanged = true;
}

void TLXIPTCInfoList::AssignRecords(const TLXIPTCInfoList* source) {
  if (source == this) return;
  ClearRecords();
  if (source) {
    headers_ = source->headers_;
    data_ = source->data_;
  }
  UserChanged = true;
}

std::vector<uint8_t> TLXIPTCInfoList::SaveToBlock(bool withPhotoshopHeader) const {
  std::vector<uint8_t> b;
  if (headers_.empty()) return b;
  if (withPhotoshopHeader) {
    // "Photoshop 3.0" with its zero byte, then the 8BIM resource 0x0404 whose
    // length (bytes 22..25) is filled in at the end.
    static const uint8_t kHead[26] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0,
                                      '8', 'B', 'I', 'M', 0x04, 0x04, 0,   0,   0,   0,   0,   0};
    b.assign(kHead, kHead + sizeof kHead);
  } else {
    const uint8_t hdr[] = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
    b.assign(hdr, hdr + sizeof hdr);
  }
  uint32_t total = 0;
  for (size_t i = 0; i < headers_.size(); ++i) {
    const TLXIPTCRecordHeader& h = headers_[i];
    const uint32_t len = uint32_t(data_[i].size());
    if ((h.record == 2 && h.dataset == 0) || len == 0) continue;
    b.push_back(0x1C);
    b.push_back(uint8_t(h.record));
    b.push_back(uint8_t(h.dataset));
    if (len < 32768) {
      b.push_back(uint8_t(len >> 8));
      b.push_back(uint8_t(len));
      total += len + 5;
    } else {
      uint8_t l[6] = {0x80, 0x04};
      PutBE32(l + 2, uint32_t(len));
      b.insert(b.end(), l, l + sizeof l);
      total += len + 9;
    }
    b.insert(b.end(), data_[i].begin(), data_[i].end());
  }
  if (b.size() % 2) b.push_back(0);
  if (withPhotoshopHeader) {
    PutBE32(b.data() + 22, uint32_t(total));
  }
  return b;
}

void TLXIPTCInfoList::LoadFromBlock(const void* data, int64_t length) {
  headers_.clear();
  data_.clear();
  const auto* p = static_cast<const uint8_t*>(data);
  int64_t pos = 0;
  if (!p || length <= 0) {
    UserChanged = false;
    return;
  }
  while (pos < length && p[pos] != 0x1C) ++pos;
  // Bounds are 64-bit: neither a long length nor a negative one can wrap past the block.
  while (pos < length && p[pos] == 0x1C && length - pos >= 5) {
    const int record = p[pos + 1];
    const int dataset = p[pos + 2];
    int64_t len;
    int64_t start;
    if (p[pos + 3] & 0x80) {
      if (length - pos < 9) break;
      const int32_t l = int32_t(GetBE32(p + pos + 5));
      len = l < 0 ? -int64_t(l) : int64_t(l);
      start = pos + 9;
    } else {
      len = GetBE16(p + pos + 3);
      start = pos + 5;
    }
    if (start + len > length) break;
    headers_.push_back({record, dataset, int32_t(len)});
    data_.emplace_back(p + start, p + start + len);
    pos = start + len;
  }
  UserChanged = false;
}
