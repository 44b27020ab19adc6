#include "pdf/document/vxPicture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

TvxBitmap::TvxBitmap(int width, int height, TvxPixelOrder order)
    : width_(width < 0 ? 0 : width), height_(height < 0 ? 0 : height), order_(order) {
  pixels_.assign(size_t(width_) * size_t(height_) * 3, 0xFF);  // white until drawn on
}

void TvxBitmap::SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = &pixels_[(size_t(y) * size_t(width_) + size_t(x)) * 3];
  if (order_ == TvxPixelOrder::poRGB) {
    p[0] = r, p[1] = g, p[2] = b;
  } else {
    p[0] = b, p[1] = g, p[2] = r;
  }
}

std::string TvxBitmap::RGBSamples() const {
  std::string samples(pixels_.begin(), pixels_.end());
  if (order_ == TvxPixelOrder::poBGR)
    for (size_t i = 0; i + 2 < samples.size(); i += 3) std::swap(samples[i], samples[i + 2]);
  return samples;
}

namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
  auto* error = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, error->message);
  std::longjmp(error->jump, 1);
}

void QuietJpegMessage(j_common_ptr) {}

// Pictures beyond this many pixels are refused rather than decoded.
constexpr uint64_t kMaxPixels = 100'000'000;

// Decodes into `out` (RGB rows); answers false with `message` set on error.
// No C++ object lives across the setjmp, so the long jump is safe.
bool DecodeJpeg(const std::string& data, std::vector<uint8_t>& out, int& width, int& height, std::string& message) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.output_message = QuietJpegMessage;
  error.message[0] = 0;
  if (setjmp(error.jump)) {
    message = error.message;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  width = int(info.output_width);
  height = int(info.output_height);
  const int components = info.output_components;
  if (uint64_t(width) * uint64_t(height) > kMaxPixels) {
    message = "picture too large";
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.resize(size_t(width) * size_t(height) * 3);
  // A row buffer from libjpeg's own pool, freed with the decompressor.
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             JDIMENSION(width * components), 1);
  while (info.output_scanline < info.output_height) {
    size_t y = info.output_scanline;
    jpeg_read_scanlines(&info, row, 1);
    uint8_t* target = &out[y * size_t(width) * 3];
    for (int x = 0; x < width; ++x) {
      const uint8_t* s = row[0] + x * components;
      if (cmyk) {
        // Adobe writes CMYK JPEGs inverted: the samples are already 255 - ink.
        int k = s[3];
        target[3 * x] = uint8_t(s[0] * k / 255);
        target[3 * x + 1] = uint8_t(s[1] * k / 255);
        target[3 * x + 2] = uint8_t(s[2] * k / 255);
      } else {
        target[3 * x] = s[0];
        target[3 * x + 1] = s[1];
        target[3 * x + 2] = s[2];
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

std::unique_ptr<TvxBitmap> TvxJPEGImage::ToBitmap() const {
  std::vector<uint8_t> pixels;
  int width = 0, height = 0;
  std::string message;
  if (!DecodeJpeg(data_, pixels, width, height, message))
    throw EUnsupportedImageError(Format(res::SUnsupportedImageFormat, {ClassName() + ": " + message}));
  auto bitmap = std::make_unique<TvxBitmap>(width, height, TvxPixelOrder::poRGB);
  bitmap->Pixels() = std::move(pixels);
  return bitmap;
}

}  // namespace vx
