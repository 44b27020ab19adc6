// Arbitrary bytes through the object parser, objects after objects, then the
// file-level scans (header, startxref, trailer).
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/parsers/vxPDFParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  vx::TvxPDFStreamReader reader(101, bytes);
  try {
    for (int i = 0; i < 64 && !reader.Eof(); ++i) {
      size_t before = reader.Pos();
      auto obj = reader.ParseObject();
      if (obj) {
        auto copy = obj->Clone();
        if (auto* io = vx::As<vx::TvxPDFIndirectObject>(obj.get()); io && io->Content->IsStream())
          reader.ReadStreamData(int64_t(size / 3), io->ObjectNumber, io->Generation);
      }
      if (reader.Pos() == before) reader.Skip(1);
    }
  } catch (const vx::Exception&) {
  }
  try {
    reader.ReadHeaderVersion();
  } catch (const vx::Exception&) {
  }
  try {
    reader.FindStartXRef();
  } catch (const vx::Exception&) {
  }
  try {
    reader.SetPos(0);
    reader.ReadTrailer();
  } catch (const vx::Exception&) {
  }
  return 0;
}
