// The ICO and CUR rows of the format table (io/format.h).
#include "codecs/ico/ico.h"
#include "codecs/ico/icowrite.h"
#include "io/format.h"

const TIOFormat& ICOFormat() {
  static const TIOFormat row{
      .FileType = ioICO,
      .DisplayName = "Windows Icon",
      .RegistryExtensions = "ICO",
      .Readable = true,
      .Writable = true,
      .Extensions = "ico",
      .Routes = iorLoad | iorSave,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        ICOReadStream(s, b, p, pr, c.ParamsOnly, c.Mask);
      },
      .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall& c) {
        ICOWriteStream(s, b, p, pr, c.IconSizes, c.IconBitCounts, c.IconCount);
      },
      .Content = {100, -1, IsICOStream},
      .SameLayoutAs = ioCUR,
      .AlphaFromMask = true,
      .ViewDpiFile = true,
      .RGBOrMono = true,
      .IconList = true,
  };
  return row;
}

const TIOFormat& CURFormat() {
  static const TIOFormat row{
      .FileType = ioCUR,
      .DisplayName = "Windows Cursor",
      .RegistryExtensions = "CUR",
      .Readable = true,
      .Extensions = "cur",
      .Routes = iorLoad,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        CURReadStream(s, b, p, pr, c.ParamsOnly, c.Mask);
      },
      .Content = {110, -1, IsCURStream},
      .SameLayoutAs = ioICO,
      .AlphaFromMask = true,
      .ViewDpiFile = true,
  };
  return row;
}
