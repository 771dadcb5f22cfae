// The example host: loads the imaging provider, creates its components through the factory,
// passes images between them by value and checks what comes back. Its own lines start with
// "host:"; everything else is the library's log trail.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging.h"
#include "provider_module.h"

using framework::XImage;
using framework::XMap;
using framework::XValue;
using framework::XVector;

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("host: %s: %s\n", ok ? "ok" : "FAILED", what);
  std::fflush(stdout);
  if (!ok) ++failures;
}

// Asks the factory for a component by id; the result carries one reference for the caller.
template <typename Interface>
Interface* Create(framework::CTComponentFactory* factory, const char* id) {
  void* object = nullptr;
  if (factory->CreateComponent(id, &object) != 0) return nullptr;
  return static_cast<Interface*>(object);
}

bool GrayMatchesSource(const XImage& rgba, const XImage& gray) {
  if (gray.Width() != rgba.Width() || gray.Height() != rgba.Height()) return false;
  for (int y = 0; y < rgba.height; ++y) {
    for (int x = 0; x < rgba.width; ++x) {
      const auto* in = reinterpret_cast<const unsigned char*>(rgba.planes[0] + y * rgba.strides[0]);
      const auto out = static_cast<unsigned char>(gray.planes[0][y * gray.strides[0] + x]);
      if (out != imaging::Luma(in[4 * x], in[4 * x + 1], in[4 * x + 2])) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : QUENDEL_EXAMPLE_PROVIDER;
  ProviderModule module(path);
  if (!module.Loaded()) {
    std::printf("host: cannot load the provider module %s\n", path.c_str());
    return 1;
  }
  auto registry = module.Find<framework::ComponentRegistryFunc>(imaging::kRegistryFunction);
  if (registry == nullptr) {
    std::printf("host: the provider exports no %s\n", imaging::kRegistryFunction);
    return 1;
  }
  std::printf("host: loaded %s\n", path.c_str());

  framework::CTComponentFactory* factory = nullptr;
  if (framework::CreateComponentFactory(&factory) != 0) return 1;
  factory->RegistryComponent(registry);

  auto* source = Create<imaging::IImageSource>(factory, imaging::kSourceId);
  auto* filter = Create<imaging::IGrayFilter>(factory, imaging::kGrayFilterId);
  Check(source != nullptr && filter != nullptr, "created the source and the gray filter by id");
  if (source == nullptr || filter == nullptr) return 1;

  // Images travel by value: copies share the pixel block under an atomic count.
  const XImage rgba = source->Produce(64, 48);
  const XImage gray = filter->Apply(rgba);
  std::printf("host: source gave a %zux%zu RGBA image, the filter a %zux%zu gray one\n",
              rgba.Width(), rgba.Height(), gray.Width(), gray.Height());
  Check(gray.PixelFormat() == XImage::PIXEL_FORMAT_GRAY && GrayMatchesSource(rgba, gray),
        "every gray pixel is the luma of its RGBA pixel");

  // Aggregation: the filter answers the statistics interface with its inner part, whose
  // references count on the filter.
  void* object = nullptr;
  Check(filter->QueryInterface(imaging::kStatsId, &object) == 0,
        "the filter hands out the statistics interface of its inner part");
  auto* stats = static_cast<imaging::IImageStats*>(object);
  std::printf("host: mean gray level %.2f\n", stats->Mean(gray));
  stats->Release();

  // No component is registered under the statistics id; only the live filter answers it.
  object = nullptr;
  Check(factory->QueryInterface(imaging::kStatsId, &object) == 0 && object != nullptr,
        "the factory finds the statistics interface on a live instance");
  if (object != nullptr) static_cast<imaging::IImageStats*>(object)->Release();

  // A settings map in, a vector of images out; then a results map of values of three types.
  XMap settings;
  settings.SetValue("width", XValue(16));
  settings.SetValue("height", XValue(8));
  settings.SetValue("frames", XValue(3));
  const XVector<XImage> series = source->ProduceSeries(settings);
  bool seriesOk = series.size() == 3;
  for (std::uint64_t i = 0; seriesOk && i < series.size(); ++i) {
    seriesOk = series[i].Width() == 16 + i && series[i].Height() == 8 &&
               GrayMatchesSource(series[i], filter->Apply(series[i]));
  }
  std::printf("host: the source made a series of %llu frames from the settings map\n",
              static_cast<unsigned long long>(series.size()));
  Check(seriesOk, "every frame of the series has the asked size and filters correctly");

  XMap results;
  object = nullptr;
  if (filter->QueryInterface(imaging::kStatsId, &object) == 0) {
    static_cast<imaging::IImageStats*>(object)->Describe(gray, results);
    static_cast<imaging::IImageStats*>(object)->Release();
  }
  const XValue* mean = results.GetValue("mean");
  const XValue* format = results.GetValue("format");
  const XValue* thumbnail = results.GetValue("thumbnail");
  const bool resultsOk =
      mean != nullptr && mean->Get<double>() != nullptr && format != nullptr &&
      format->Get<std::string>() != nullptr && *format->Get<std::string>() == "gray" &&
      thumbnail != nullptr && thumbnail->Get<XImage>() != nullptr &&
      thumbnail->Get<XImage>()->Width() == gray.Width() / 2 && mean->Get<int>() == nullptr;
  if (resultsOk) {
    std::printf("host: results map: mean %.2f, format %s, a %zux%zu thumbnail\n",
                *mean->Get<double>(), format->Get<std::string>()->c_str(),
                thumbnail->Get<XImage>()->Width(), thumbnail->Get<XImage>()->Height());
  }
  Check(resultsOk, "the results map holds a number, a text and an image, each read by type");

  // A second request for a live id hands out the same instance.
  auto* again = Create<imaging::IImageSource>(factory, imaging::kSourceId);
  Check(again == source, "a second CreateComponent returns the live instance");
  again->Release();

  source->Release();
  filter->Release();
  factory->Release();
  std::printf("host: %s\n", failures == 0 ? "all checks passed" : "some checks FAILED");
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
