// The module file reader against a model of what each file says: images built in memory with
// known symbols, records and manifests, the real test modules, both cut short and with fields
// that lie, and arbitrary bytes. Every case runs under AddressSanitizer in CI, which catches a read
// past the bytes. Built with QUENDEL_FUZZING it is the module_file_fuzzer, without the real
// modules.
#include <quendel/detail/module_file.h>
#include <quendel/detail/module_manifest_read.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/module_image.h"
#include "support/property.h"

#if !defined(QUENDEL_FUZZING)
#include "support/module_loader.h"
#endif
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace {

namespace qt = quendel::test;
using namespace framework::host::detail;
using qt::Place;
using Verdict = ModuleFileVerdict;

constexpr std::size_t kRecordSize = sizeof(QuendelModuleRecord);

SymbolKind KindOf(Place place) {
  const SymbolKind kinds[] = {SymbolKind::kAbsent, SymbolKind::kData, SymbolKind::kFunction,
                              SymbolKind::kOther};
  return kinds[static_cast<int>(place)];
}

// What the reader must answer for a file that holds `places` and whose record, read up to
// `room` bytes of which the file holds `backed`, is `stored` (zeros past `backed`).
ModuleFile Expected(const Place (&places)[4], const unsigned char* stored, std::uint32_t room,
                    std::uint32_t backed) {
  ModuleFile expected;
  expected.recordSymbol = KindOf(places[0]);
  expected.canUnloadSymbol = KindOf(places[1]);
  expected.registrySymbol = KindOf(places[2]);
  expected.manifestSymbol = KindOf(places[3]);
  if (places[0] != Place::kData) return expected;
  unsigned char bytes[kRecordSize] = {};
  std::memcpy(bytes, stored, std::min<std::size_t>(backed, kRecordSize));
  std::uint32_t stated = 0;
  std::memcpy(&stated, bytes, sizeof stated);
  const std::size_t take = std::min<std::size_t>(room, kRecordSize);
  expected.recordBytes = take < 4 ? 0 : std::min<std::size_t>(take, stated);
  std::memcpy(&expected.record, bytes, expected.recordBytes);
  return expected;
}

// The ids a manifest lists, a space between, or why ParseManifest refuses it, then with none.
std::string IdsOf(const std::vector<unsigned char>& bytes) {
  std::vector<framework::host::ManifestEntry> entries;
  std::string ids;
  if (!ParseManifest(bytes, &entries, &ids)) MODEL_CHECK_MSG(entries.empty(), ids);
  for (const auto& entry : entries) ids += (ids.empty() ? "" : " ") + entry.id;
  return ids;
}

// Manifest bytes with one fault or none, and what IdsOf says of them. A size that lies says
// more than any room the images give them.
struct Manifest {
  std::vector<std::uint8_t> bytes;
  std::string ids;
};
Manifest MakeManifest(qt::Bytes& input) {
  const char* const whys[] = {"",
                              "fewer components than it counts",
                              "bytes after its last component",
                              "a text runs past its end",
                              "the id m.0 is listed twice",
                              "a component without an id",
                              "its size is not the bytes it has"};
  const std::uint32_t fault = input.Below(7);
  Manifest made{{}, fault == 0 ? "" : std::string("damaged manifest: ") + whys[fault]};
  const auto put = [&made](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) made.bytes.push_back(static_cast<std::uint8_t>(value >> 8 * i));
  };
  const std::uint32_t count = input.Below(3) + (fault >= 3 && fault <= 5 ? 2 : 0);
  put(0);
  put(1);
  put(count + (fault == 1 ? 1 : 0));
  for (std::uint32_t i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    const std::string id = last && fault == 4   ? "m.0"
                           : last && fault == 5 ? ""
                                                : "m." + std::to_string(i);
    if (fault == 0) made.ids += (i ? " " : "") + id;
    put(input.Byte());
    for (const std::string& text :
         {std::string(input.Below(3), 'n'), id, "1." + std::to_string(input.Byte())})
      made.bytes.insert(made.bytes.end(), text.c_str(), text.c_str() + text.size() + 1);
    made.bytes.push_back(0);  // no description
  }
  if (fault == 2) made.bytes.insert(made.bytes.end(), 1 + input.Below(4), 0xab);
  if (fault == 3) made.bytes.pop_back();
  const std::size_t size = made.bytes.size() + (fault == 6 ? 48 + input.Below(8) : 0);
  for (int i = 0; i < 4; ++i) made.bytes[i] = static_cast<std::uint8_t>(size >> 8 * i);
  return made;
}

void CheckSame(const ModuleFile& file, const ModuleFile& expected) {
  MODEL_CHECK_MSG(file.verdict == expected.verdict, file.text);
  MODEL_CHECK(file.recordSymbol == expected.recordSymbol);
  MODEL_CHECK(file.canUnloadSymbol == expected.canUnloadSymbol);
  MODEL_CHECK(file.registrySymbol == expected.registrySymbol);
  MODEL_CHECK(file.manifestSymbol == expected.manifestSymbol);
  MODEL_CHECK(file.recordBytes == expected.recordBytes);
  MODEL_CHECK(std::memcmp(&file.record, &expected.record, kRecordSize) == 0);
}

// What holds for every answer, whatever the bytes were.
void CheckShape(const ModuleFile& file) {
  const bool read = file.verdict == Verdict::kRead;
  MODEL_CHECK_MSG(read == (file.text == "read") && !file.text.empty(), file.text);
  MODEL_CHECK((file.verdict == Verdict::kDamaged) ==
              (file.text.rfind("damaged module file: ", 0) == 0));
  MODEL_CHECK(read || file.recordSymbol == SymbolKind::kAbsent);
  MODEL_CHECK(read || file.registrySymbol == SymbolKind::kAbsent);
  MODEL_CHECK(file.recordBytes == 0 || file.recordSymbol == SymbolKind::kData);
  MODEL_CHECK(file.recordBytes <= kRecordSize && file.record.size >= file.recordBytes);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&file.record);
  MODEL_CHECK(std::all_of(bytes + file.recordBytes, bytes + kRecordSize,
                          [](unsigned char byte) { return byte == 0; }));
  MODEL_CHECK(file.manifest.empty() || file.manifestSymbol == SymbolKind::kData);
  IdsOf(file.manifest);
}

ModuleFile Parse(const std::vector<std::uint8_t>& bytes, ModuleFormat format) {
  ModuleFile file = ParseModuleFile(bytes.data(), bytes.size(), format);
  CheckShape(file);
  return file;
}

// A file cut anywhere, near its start or near its end, is damaged once its magic is whole.
void CheckCut(std::vector<std::uint8_t> bytes, ModuleFormat format, qt::Bytes& input) {
  const std::uint32_t bound =
      static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 1 << 16));
  const std::uint32_t near = input.Below(bound), far = input.Below(bound);
  bytes.resize(input.Byte() % 2 ? near : bytes.size() - 1 - far);
  const std::size_t magic = format == ModuleFormat::kElf ? 4 : 2;
  const Verdict verdict = Parse(bytes, format).verdict;
  MODEL_CHECK(verdict == (bytes.size() < magic ? Verdict::kNotSharedLibrary : Verdict::kDamaged));
  // The magic alone is a damaged module; one byte less is none.
  bytes.resize(std::min(bytes.size(), magic));
  MODEL_CHECK(Parse(bytes, format).verdict ==
              (bytes.size() < magic ? Verdict::kNotSharedLibrary : Verdict::kDamaged));
  bytes.resize(bytes.size() - (bytes.empty() ? 0 : 1));
  MODEL_CHECK(Parse(bytes, format).verdict == Verdict::kNotSharedLibrary);
}

// A few bytes overwritten: any answer may come, as long as it has its shape.
void Overwrite(std::vector<std::uint8_t> bytes, ModuleFormat format, qt::Bytes& input) {
  for (std::uint32_t n = 1 + input.Below(8); n > 0; --n) {
    const std::uint32_t near = input.Below(std::min<std::size_t>(bytes.size(), 1024));
    const std::uint32_t far = input.Below(std::min<std::size_t>(bytes.size(), 4096));
    bytes[input.Byte() % 2 ? near : bytes.size() - 1 - far] = input.Byte();
  }
  Parse(bytes, format);
}

// An image built from the input's model, read untouched, cut short, overwritten, or with one
// of its range fields pointing or reaching past the file's end.
void BuiltImage(qt::Bytes& input, ModuleFormat format) {
  qt::ModuleModel model{};
  for (int w = 0; w < 4; ++w) model.places[w] = static_cast<Place>(input.Below(4));
  for (unsigned& variant : model.variants) variant = input.Below(6);
  const QuendelModuleRecord ours = QUENDEL_THIS_MODULE_RECORD;
  std::memcpy(model.record, &ours, kRecordSize);
  const std::uint32_t stated[] = {kRecordSize, 40, 8, 3, 0, 0xffffffff};
  std::memcpy(model.record, &stated[input.Below(6)], 4);
  model.record[kRecordSize] = input.Byte();
  model.room = 1 + input.Below(40);
  model.backed = input.Below(model.room + 1);
  const Manifest manifest = MakeManifest(input);
  model.manifest = manifest.bytes;
  const std::uint16_t machine = format == ModuleFormat::kElf
                                    ? (reader::kHostMachine.elf ? reader::kHostMachine.elf : 62)
                                    : (reader::kHostMachine.pe ? reader::kHostMachine.pe : 0x8664);
  qt::ModuleImage image =
      format == ModuleFormat::kElf ? qt::BuildElf(model, machine) : qt::BuildPe(model, machine);
  switch (input.Below(4)) {
    case 0: {
      const ModuleFormat other =
          format == ModuleFormat::kElf ? ModuleFormat::kPe : ModuleFormat::kElf;
      MODEL_CHECK(Parse(image.bytes, other).verdict == Verdict::kOtherPlatform);
      const ModuleFile file = Parse(image.bytes, format);
      CheckSame(file, Expected(model.places, model.record, model.room, model.backed));
      if (file.manifestSymbol == SymbolKind::kData)
        MODEL_CHECK(IdsOf(file.manifest) == manifest.ids);
      return;
    }
    case 1:
      return CheckCut(image.bytes, format, input);
    case 2:
      return Overwrite(image.bytes, format, input);
  }
  const auto [at, width] = image.ranges[input.Below(image.ranges.size())];
  const std::uint64_t top = width == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << 8 * width) - 1;
  image.Put(at, input.Byte() % 2 ? image.bytes.size() + 1 + input.Byte() : top - input.Byte(),
            width);
  MODEL_CHECK(Parse(image.bytes, format).verdict == Verdict::kDamaged);
}

// Arbitrary bytes, after one of the magics or none, read as either format.
void ArbitraryBytes(qt::Bytes& input) {
  const char* const magics[] = {"", "\177ELF\2\1", "MZ"};
  const std::string magic = magics[input.Below(3)];
  std::vector<std::uint8_t> bytes(magic.begin(), magic.end());
  bytes.insert(bytes.end(), input.data + input.at, input.data + input.size);
  Parse(bytes, ModuleFormat::kElf);
  Parse(bytes, ModuleFormat::kPe);
  IdsOf(bytes);
}

#if !defined(QUENDEL_FUZZING)
// The test modules as built, what each exports, and the ids its manifest lists.
struct RealCase {
  const char* name;
  Place places[4];
  std::uint32_t recordBytes;
  const char* ids;
};
constexpr Place kData = Place::kData, kFunction = Place::kFunction, kAbsent = Place::kAbsent;
constexpr RealCase kReal[] = {
    {"test_providers", {kData, kData, kFunction, kData}, kRecordSize, "paired.counter"},
    {"values_provider", {kData, kData, kAbsent, kAbsent}, kRecordSize, ""},
    {"plain_library", {kAbsent, kAbsent, kAbsent, kAbsent}, 0, ""},
    {"size_provider", {kData, kData, kFunction, kAbsent}, 8, ""},  // states 8 bytes
    // The record and "can unload now" exported as functions, the registry entry as data.
    {"wrong_kind_provider", {kFunction, kFunction, kData, kAbsent}, 0, ""},
    {"catalog_one", {kData, kData, kFunction, kData}, kRecordSize, "catalog.a catalog.b"},
    {"catalog_mismatch", {kData, kData, kFunction, kData}, kRecordSize, "catalog.m"},
};

// This build's record, as a module that states `size` bytes of it holds it.
ModuleFile ExpectedOf(const RealCase& real) {
  QuendelModuleRecord record = QUENDEL_THIS_MODULE_RECORD;
  record.size = real.recordBytes;
  return Expected(real.places, reinterpret_cast<const unsigned char*>(&record), kRecordSize,
                  real.recordBytes);
}

const std::vector<std::uint8_t>& FileOf(const std::string& name) {
  static std::map<std::string, std::vector<std::uint8_t>> files;
  std::vector<std::uint8_t>& bytes = files[name];
  if (!bytes.empty()) return bytes;
  std::ifstream file(qt::ProviderFile(name), std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(file), {});
  return bytes;
}

// A test module read untouched, cut short, or overwritten.
void RealModule(qt::Bytes& input) {
  const RealCase& real = kReal[input.Below(std::size(kReal))];
  const std::vector<std::uint8_t>& bytes = FileOf(real.name);
  switch (input.Below(3)) {
    case 0: {
      const ModuleFile file = Parse(bytes, kHostModuleFormat);
      CheckSame(file, ExpectedOf(real));
      MODEL_CHECK(real.ids == (file.manifest.empty() ? "" : IdsOf(file.manifest)));
      return;
    }
    case 1:
      return CheckCut(bytes, kHostModuleFormat, input);
  }
  Overwrite(bytes, kHostModuleFormat, input);
}
constexpr bool kRealModules = true;
#else
void RealModule(qt::Bytes&) {}
constexpr bool kRealModules = false;
#endif

// Cases one after another while the input lasts; arbitrary bytes take the rest of it.
void Sequence(qt::Bytes& input) {
  while (input.More()) {
    const std::uint32_t route = input.Below(16);
    if (route == 15) return ArbitraryBytes(input);
    if (route >= 12 && kRealModules) {
      RealModule(input);
    } else {
      BuiltImage(input, route % 2 ? ModuleFormat::kPe : ModuleFormat::kElf);
    }
  }
}

}  // namespace

QUENDEL_PROPERTY_TEST(ModuleFileTest, Sequence);

#if !defined(QUENDEL_FUZZING)
namespace {

// Each path that holds no module file is refused with its reason; a damaged one with the
// part that lies outside it (texts of ELF and PE differ there, so only the verdict counts).
TEST(ModuleFileTest, PathsWithoutAModuleFileAreRefusedWithTheirReason) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("module_file_test-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  const std::vector<std::uint8_t>& good = FileOf("test_providers");
  std::ofstream(folder / "cut", std::ios::binary)
      .write(reinterpret_cast<const char*>(good.data()), 5000);
  std::ofstream(folder / "empty").close();
  std::ofstream(folder / "large").close();
  std::filesystem::resize_file(folder / "large", kMaxModuleFileSize + 1);
  const struct {
    std::string path;
    Verdict verdict;
    std::string text;
  } cases[] = {
    {qt::ProviderFile("absent"), Verdict::kFileNotFound, "file not found"},
    {qt::ProviderDir(), Verdict::kNotRegularFile, "not a regular file: a directory"},
    {qt::ProviderFile("not_a_library"), Verdict::kNotSharedLibrary, "not a shared library"},
    {(folder / "empty").string(), Verdict::kNotSharedLibrary, "not a shared library"},
    {qt::ProviderFile("broken_library"), Verdict::kDamaged, ""},
    {(folder / "cut").string(), Verdict::kDamaged, ""},
    {(folder / "large").string(), Verdict::kTooLarge, "file too large: over 1 GiB"},
#if !defined(_WIN32)
    {"/dev/zero", Verdict::kNotRegularFile, "not a regular file: a device"},
    {(folder / "pipe").string(), Verdict::kNotRegularFile, "not a regular file: a named pipe"},
#endif
  };
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
#endif
  for (const auto& expected : cases) {
    const ModuleFile file = ReadModuleFile(expected.path);
    EXPECT_EQ(file.verdict, expected.verdict) << expected.path << ": " << file.text;
    EXPECT_EQ(file.text.substr(0, expected.text.size() ? std::string::npos : 21),
              expected.text.empty() ? "damaged module file: " : expected.text)
        << expected.path;
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
#endif
