// Pictures that can become image objects of a page: a bitmap held in memory
// (RGB or BGR, 8 bits per sample, rows top to bottom) and JPEG data, which
// is decoded into a bitmap. Other kinds of picture are named only so that
// they can be refused by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx {

class TvxBitmap;

class TvxPicture {
 public:
  virtual ~TvxPicture() = default;
  // The picture's class name, used in "Unsupported image format (%s)".
  virtual std::string ClassName() const = 0;
  // The picture as a bitmap, or nullptr for kinds that cannot be drawn.
  virtual std::unique_ptr<TvxBitmap> ToBitmap() const = 0;
};

enum class TvxPixelOrder { poRGB, poBGR };

class TvxBitmap : public TvxPicture {
 public:
  TvxBitmap(int width, int height, TvxPixelOrder order = TvxPixelOrder::poRGB);
  std::string ClassName() const override { return "TBitmap"; }
  std::unique_ptr<TvxBitmap> ToBitmap() const override { return std::make_unique<TvxBitmap>(*this); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  TvxPixelOrder Order() const { return order_; }
  // Pixel (x, y), y counted from the top, as three samples in the bitmap's order.
  void SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b);
  // Rows top to bottom, three bytes per pixel red, green, blue; no padding.
  std::string RGBSamples() const;
  std::vector<uint8_t>& Pixels() { return pixels_; }

 private:
  int width_, height_;
  TvxPixelOrder order_;
  std::vector<uint8_t> pixels_;  // in `order_`, rows top to bottom
};

// JPEG data, decoded with libjpeg when the picture is drawn. Decoding
// failures raise EUnsupportedImageError with libjpeg's message.
class TvxJPEGImage : public TvxPicture {
 public:
  explicit TvxJPEGImage(std::string data) : data_(std::move(data)) {}
  std::string ClassName() const override { return "TJPEGImage"; }
  std::unique_ptr<TvxBitmap> ToBitmap() const override;

 private:
  std::string data_;
};

}  // namespace vx
