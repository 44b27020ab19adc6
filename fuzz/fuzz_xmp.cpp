// Arbitrary bytes as an XMP packet: our own reader, the toolkit's reading
// behind it, and an update judged by our reader again. Whatever the bytes,
// each answers a packet or a reason, and nothing crashes.
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/document/vxXmpMetadata.h"
#include "pdf/document/vxXmpPacketReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view packet(reinterpret_cast<const char*>(data), size);
  vx::ScanXmpPacket(packet);
  std::string problem;
  vx::ReadXmpInfo(packet, &problem);
  vx::TvxXmpInfo update;
  update.Title = u"Fuzzed \u00e9";
  update.Author = u"Ann; Bob";
  update.ModDate = "D:20240102030405Z";
  vx::UpdateXmpPacket(packet, update, "2024-01-02T03:04:05Z", &problem);
  return 0;
}
