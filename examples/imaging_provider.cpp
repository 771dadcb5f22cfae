// A provider module: two components that pass images by value, one of which aggregates a
// third, and the registry function through which a host hands them to its factory.
#include <string>

#include "imaging.h"

using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::TComponent;
using framework::XImage;
using framework::XMap;
using framework::XValue;
using framework::XVector;

namespace {

// A setting from the host's map, or `fallback` when it is absent or not an int.
int IntSetting(const XMap& settings, const char* key, int fallback) {
  const XValue* value = settings.GetValue(key);
  const int* number = value != nullptr ? value->Get<int>() : nullptr;
  return number != nullptr ? *number : fallback;
}

}  // namespace

namespace {

// TComponent<Interfaces...> is CTComponentUnknown plus the interfaces: it forwards their
// QueryInterface, AddRef and Release to Owner() and answers each interface's id.
class GradientSource : public TComponent<imaging::IImageSource> {
 public:
  using TComponent::TComponent;  // constructed from the factory that creates it

  XImage Produce(int width, int height) override {
    XImage image(width, height, XImage::PIXEL_FORMAT_RGBA);
    if (image.Empty()) return image;  // no pixels for this size: nothing to write through
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<unsigned char*>(image.planes[0] + y * image.strides[0]);
      for (int x = 0; x < width; ++x) {
        row[4 * x + 0] = static_cast<unsigned char>(x * 255 / (width > 1 ? width - 1 : 1));
        row[4 * x + 1] = static_cast<unsigned char>(y * 255 / (height > 1 ? height - 1 : 1));
        row[4 * x + 2] = 128;
        row[4 * x + 3] = 255;
      }
    }
    return image;  // shares its block with the caller's copy; no pixels are copied
  }

  XVector<XImage> ProduceSeries(const XMap& settings) override {
    const int width = IntSetting(settings, "width", 32);
    const int height = IntSetting(settings, "height", 32);
    const int frames = IntSetting(settings, "frames", 1);
    XVector<XImage> series;
    series.reserve(frames > 0 ? static_cast<std::uint64_t>(frames) : 0);
    // Each frame is one pixel wider than the one before.
    for (int i = 0; i < frames; ++i) series.push_back(Produce(width + i, height));
    return series;
  }
};

// The inner part of the gray filter: its interfaces are reached only through the filter.
class Stats : public TComponent<imaging::IImageStats> {
 public:
  // Its owner is the outer object, which counts the references taken through its interface.
  explicit Stats(CTUnknown* outer) : TComponent(outer, nullptr) {}

  double Mean(const XImage& gray) override {
    if (gray.Empty() || gray.PixelFormat() != XImage::PIXEL_FORMAT_GRAY) return 0.0;
    double sum = 0.0;
    for (int y = 0; y < gray.height; ++y) {
      const auto* row =
          reinterpret_cast<const unsigned char*>(gray.planes[0] + y * gray.strides[0]);
      for (int x = 0; x < gray.width; ++x) sum += row[x];
    }
    return sum / (static_cast<double>(gray.width) * gray.height);
  }

  void Describe(const XImage& gray, XMap& results) override {
    results.SetValue("mean", XValue(Mean(gray)));
    results.SetValue("format", XValue(std::string("gray")));
    results.SetValue("thumbnail", XValue(HalfSize(gray)));
  }

 private:
  // Every second pixel of every second row.
  static XImage HalfSize(const XImage& gray) {
    if (gray.Empty() || gray.PixelFormat() != XImage::PIXEL_FORMAT_GRAY) return XImage();
    XImage half(gray.Width() / 2, gray.Height() / 2, XImage::PIXEL_FORMAT_GRAY);
    if (half.Empty()) return half;
    for (int y = 0; y < half.height; ++y) {
      for (int x = 0; x < half.width; ++x) {
        half.planes[0][y * half.strides[0] + x] = gray.planes[0][2 * y * gray.strides[0] + 2 * x];
      }
    }
    return half;
  }
};

class GrayFilter : public TComponent<imaging::IGrayFilter> {
 public:
  explicit GrayFilter(CTComponentFactory* factory) : TComponent(factory) {
    // Aggregation: the inner part counts its references on this filter; the filter holds the
    // inner part by its own count.
    stats_ = new Stats(static_cast<imaging::IGrayFilter*>(this));
    stats_->DelegatAddRef();
  }
  ~GrayFilter() override { stats_->DelegatRelease(); }

  // Its own interface, and the inner part's for every other id.
  int DelegatQueryInterface(const char* id, void** object) override {
    if (TComponent::DelegatQueryInterface(id, object) == 0) return 0;
    return stats_->DelegatQueryInterface(id, object);
  }

  XImage Apply(const XImage& rgba) override {
    if (rgba.Empty() || rgba.PixelFormat() != XImage::PIXEL_FORMAT_RGBA) return XImage();
    XImage gray(rgba.Width(), rgba.Height(), XImage::PIXEL_FORMAT_GRAY);
    if (gray.Empty()) return gray;
    for (int y = 0; y < rgba.height; ++y) {
      const auto* in = reinterpret_cast<const unsigned char*>(rgba.planes[0] + y * rgba.strides[0]);
      auto* out = reinterpret_cast<unsigned char*>(gray.planes[0] + y * gray.strides[0]);
      for (int x = 0; x < rgba.width; ++x) {
        out[x] = imaging::Luma(in[4 * x], in[4 * x + 1], in[4 * x + 2]);
      }
    }
    return gray;
  }

 private:
  CTComponentUnknown* stats_;
};

}  // namespace

// Exports ImagingRegistry, which lists a fresh description of each component for the factory
// that registers it. The fields are those of ComponentInfo: name, id, version, type and
// description; the creator makes the component from the factory.
QUENDEL_REGISTRY_FUNCTION(ImagingRegistry,
                          framework::Describe<GradientSource>("GradientSource", imaging::kSourceId,
                                                              "1.0.0", 1,
                                                              "produces RGBA gradients"),
                          framework::Describe<GrayFilter>("GrayFilter", imaging::kGrayFilterId,
                                                          "1.0.0", 1, "turns RGBA images gray"));
