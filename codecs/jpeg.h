#pragma once
// JPEG reading and writing through libjpeg (6b interface, libjpeg-turbo).
#include <cstdint>
#include <stdexcept>
#include <string>

class TStream;
class TLXBitmap;
class TIOParamsVals;
struct TIOProgress;

// A libjpeg error, carrying the library's message text for its code.
class ELXJpegException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Decodes the JPEG that starts within 100 bytes of the stream's position into
// an lx24RGB bitmap. tablesStream (or null) holds abbreviated tables first;
// noConversion delivers the components without colour conversion. Failures set
// AbortFlag; the markers read so far are kept in params.JPEGMarkers.
void JPEGReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                    bool paramsOnly, TStream* tablesStream = nullptr, bool noConversion = false);

// Encodes an lx24RGB or lx1g bitmap. An empty bitmap or a short write sets
// AbortFlag; a library error raises ELXJpegException with AbortFlag set.
void JPEGWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress);

// The metadata step around JPEG reads and saves: after a read, the first IPTC
// marker (type 237) fills IPTCInfo; before a save, an IPTCInfo the user changed
// replaces (or adds, or with no records deletes) that marker.
void JPEGLoadMetadata(TIOParamsVals& params);
void JPEGSaveMetadata(TIOParamsVals& params);

// First position p from the current one up to 99 bytes on where FF D8 FF
// starts, or -1. The position is restored.
int64_t FindJPEGStart(TStream& stream);

// The library's message for an error code, its parameters shown as "?";
// "Corrupted" for codes outside the table.
std::string JPEGMessageText(int code);
