#ifndef QUENDEL_EXAMPLES_IMAGING_H
#define QUENDEL_EXAMPLES_IMAGING_H

// The interfaces that the example host and the imaging provider agree on. A real project
// ships such a header with its provider; the library itself knows none of it.
#include <quendel/framework.h>

namespace imaging {

// Component ids, which are also the ids of their primary interfaces. Each interface below
// declares its id with QUENDEL_INTERFACE_ID, so that hosts can ask for it by type.
inline constexpr char kSourceId[] = "example.imaging.gradient-source";
inline constexpr char kGrayFilterId[] = "example.imaging.gray-filter";
// Registered as no component: only a live gray filter answers it, through its inner part.
inline constexpr char kStatsId[] = "example.imaging.stats";

// Produces RGBA test images.
struct IImageSource : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IImageSource, kSourceId);
  virtual framework::XImage Produce(int width, int height) = 0;
  // A series of frames as the settings ask: "width" and "height" (int), "frames" (int).
  virtual framework::XVector<framework::XImage> ProduceSeries(const framework::XMap& settings) = 0;

 protected:
  ~IImageSource() = default;  // released, never deleted through the interface
};

// Turns an RGBA image into a gray one.
struct IGrayFilter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IGrayFilter, kGrayFilterId);
  virtual framework::XImage Apply(const framework::XImage& rgba) = 0;

 protected:
  ~IGrayFilter() = default;  // released, never deleted through the interface
};

// Statistics over a gray image.
struct IImageStats : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IImageStats, kStatsId);
  virtual double Mean(const framework::XImage& gray) = 0;
  // Adds "mean" (double), "format" (std::string) and "thumbnail" (XImage, half size) to
  // `results`.
  virtual void Describe(const framework::XImage& gray, framework::XMap& results) = 0;

 protected:
  ~IImageStats() = default;  // released, never deleted through the interface
};

// The weights both sides use for luma, in 1/256.
inline unsigned char Luma(unsigned char r, unsigned char g, unsigned char b) {
  return static_cast<unsigned char>((77 * r + 150 * g + 29 * b) >> 8);
}

}  // namespace imaging

#endif  // QUENDEL_EXAMPLES_IMAGING_H
