// A provider module: two components that pass images by value, one of which aggregates a
// third, and the registry function through which a host hands them to its factory.
#include <cstring>
#include <string>

#include "imaging.h"

#if defined(_WIN32)
#define IMAGING_EXPORT extern "C" __declspec(dllexport)
#else
#define IMAGING_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::RefComponentInterface;
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

class GradientSource : public imaging::IImageSource, public CTComponentUnknown {
 public:
  explicit GradientSource(CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {}

  // The three forwarding operations every interface of a component has.
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }

  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, imaging::kSourceId) == 0) {
      return RefComponentInterface(static_cast<imaging::IImageSource*>(this), object);
    }
    return -1;
  }

  XImage Produce(int width, int height) override {
    XImage image(width, height, XImage::PIXEL_FORMAT_RGBA);
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
class Stats : public imaging::IImageStats, public CTComponentUnknown {
 public:
  explicit Stats(CTUnknown* outer) : CTComponentUnknown(outer, nullptr) {}

  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }

  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, imaging::kStatsId) == 0) {
      return RefComponentInterface(static_cast<imaging::IImageStats*>(this), object);
    }
    return -1;
  }

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

class GrayFilter : public imaging::IGrayFilter, public CTComponentUnknown {
 public:
  explicit GrayFilter(CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {
    // Aggregation: the inner part counts its references on this filter.
    stats_ = new Stats(static_cast<imaging::IGrayFilter*>(this));
    stats_->DelegatAddRef();
  }
  ~GrayFilter() override { stats_->DelegatRelease(); }

  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }

  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, imaging::kGrayFilterId) == 0) {
      return RefComponentInterface(static_cast<imaging::IGrayFilter*>(this), object);
    }
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

template <typename Component>
CTComponentUnknown* Create(CTComponentFactory* factory) {
  return new Component(factory);
}

ComponentInfo* Describe(const char* name, const char* id, const char* description,
                        framework::ComponentCreator creator) {
  auto* info = new ComponentInfo;  // the factory deletes it when it goes
  info->name = name;
  info->id = id;
  info->version = "1.0.0";
  info->type = 1;
  info->description = description;
  info->creator = creator;
  return info;
}

}  // namespace

IMAGING_EXPORT void ImagingRegistry(framework::TWrap<ComponentInfo>** entries, std::size_t* count) {
  // The array stays this module's; only the descriptions pass to the factory.
  static framework::TWrap<ComponentInfo> list[2];
  list[0] = {Describe("GradientSource", imaging::kSourceId, "produces RGBA gradients",
                      &Create<GradientSource>)};
  list[1] = {Describe("GrayFilter", imaging::kGrayFilterId, "turns RGBA images gray",
                      &Create<GrayFilter>)};
  *entries = list;
  *count = 2;
}
