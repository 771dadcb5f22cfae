// The example host: lists what its providers folder offers without loading anything, creates
// the imaging provider's components through the factory (the catalog loads the module on
// first use), passes images between them by value, checks what comes back and lets the idle
// module go. Its own lines start with "host:"; everything else is the library's log trail.
#include <quendel/catalog.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging.h"

using framework::CreateRef;
using framework::QueryRef;
using framework::TRef;
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

// The module that the catalog lists at `path` (paths compared by their parts: Windows
// separates them either way).
framework::host::CatalogModule ModuleAt(const framework::host::Catalog& catalog,
                                        const std::string& path) {
  for (const auto& module : catalog.Modules())
    if (std::filesystem::path(module.path) == std::filesystem::path(path)) return module;
  return {};
}

// Everything the host does with the provider's components. The values they made (images,
// maps, vectors, and the holders inside values) all go when this returns: their code lives in
// the provider module, which must stay loaded while any of them is alive.
void UseComponents(framework::host::Catalog& catalog,
                   const TRef<framework::CTComponentFactory>& factory) {
  // A component's id is also the id of its primary interface, so the interface says which
  // component to create. The first one asked for loads the module that offers it.
  TRef<imaging::IImageSource> source = CreateRef<imaging::IImageSource>(factory);
  TRef<imaging::IGrayFilter> filter = CreateRef<imaging::IGrayFilter>(factory);
  Check(source && filter, "created the source and the gray filter by id");
  if (!source || !filter) return;

  // Images travel by value: copies share the pixel block under an atomic count.
  const XImage rgba = source->Produce(64, 48);
  const XImage gray = filter->Apply(rgba);
  std::printf("host: source gave a %zux%zu RGBA image, the filter a %zux%zu gray one\n",
              rgba.Width(), rgba.Height(), gray.Width(), gray.Height());
  Check(gray.PixelFormat() == XImage::PIXEL_FORMAT_GRAY && GrayMatchesSource(rgba, gray),
        "every gray pixel is the luma of its RGBA pixel");

  // Aggregation: the filter answers the statistics interface with its inner part, whose
  // references count on the filter.
  TRef<imaging::IImageStats> stats = QueryRef<imaging::IImageStats>(filter);
  Check(stats != nullptr, "the filter hands out the statistics interface of its inner part");
  if (stats) std::printf("host: mean gray level %.2f\n", stats->Mean(gray));
  stats.Reset();

  // No component is registered under the statistics id; only the live filter answers it.
  Check(QueryRef<imaging::IImageStats>(factory) != nullptr,
        "the factory finds the statistics interface on a live instance");

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
  if (auto describer = QueryRef<imaging::IImageStats>(filter)) describer->Describe(gray, results);
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

  // Images without pixels (too large, or with rows that would overlap) come back empty, and
  // the components touch no pixel of theirs.
  XImage overlapping;
  overlapping.Create(64, 8, XImage::PIXEL_FORMAT_RGBA, 16, 0, 0);
  XImage huge;
  huge.Create(60000, 60000, XImage::PIXEL_FORMAT_GRAY, 0, 0, 0);
  XMap noResults;
  if (auto describer = QueryRef<imaging::IImageStats>(filter)) describer->Describe(huge, noResults);
  const XValue* noThumbnail = noResults.GetValue("thumbnail");
  Check(overlapping.Empty() && huge.Empty() && filter->Apply(overlapping).Empty() &&
            source->Produce(30000, 30000).Empty() && noThumbnail != nullptr &&
            noThumbnail->Get<XImage>() != nullptr && noThumbnail->Get<XImage>()->Empty(),
        "images without pixels pass through empty");

  // A second request for a live id hands out the same instance.
  TRef<imaging::IImageSource> again = CreateRef<imaging::IImageSource>(factory);
  Check(again == source, "a second CreateComponent returns the live instance");
  again.Reset();

  // An idle module goes; one whose components are alive stays. Released in this order, so
  // that the log trail shows the source go, then the filter.
  Check(catalog.UnloadIdle() == 0 && ModuleAt(catalog, QUENDEL_EXAMPLE_PROVIDER).loaded,
        "the provider stays loaded while its components are alive");
  source.Reset();
  filter.Reset();
}

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : QUENDEL_EXAMPLE_PROVIDERS;
  TRef<framework::CTComponentFactory> factory = framework::CreateFactoryRef();
  if (!factory) return EXIT_FAILURE;
  framework::host::Catalog catalog(*factory);
  // Reads each file's record and manifest; no module is loaded and none of its code runs.
  if (!catalog.AddFolder(folder)) {
    std::printf("host: cannot read the providers folder %s\n", folder.c_str());
    return EXIT_FAILURE;
  }
  for (const auto& offer : catalog.Components()) {
    std::printf("host: %s offers %s %s (%s): %s%s%s\n", offer.path.c_str(),
                offer.component.name.c_str(), offer.component.version.c_str(),
                offer.component.id.c_str(), offer.component.description.c_str(),
                offer.chosen ? "" : "; ", offer.text.c_str());
  }
  for (const auto& refused : catalog.Refused())
    std::printf("host: %s cannot be used: %s\n", refused.path.c_str(), refused.text.c_str());
  Check(!ModuleAt(catalog, QUENDEL_EXAMPLE_PROVIDER).loaded, "listing loaded no module");

  UseComponents(catalog, factory);
  const auto provider = ModuleAt(catalog, QUENDEL_EXAMPLE_PROVIDER);
  Check(provider.loads == 1, "the first use loaded the provider, once");
  Check(catalog.UnloadIdle() == 1 && !ModuleAt(catalog, QUENDEL_EXAMPLE_PROVIDER).loaded,
        "the provider unloads once nothing it made is alive");
  std::printf("host: %s\n", failures == 0 ? "all checks passed" : "some checks FAILED");
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
