#include "materials_file.h"

#include "container_damages.h"
#include "table_store/binary_format/value_tags.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

using namespace station;

namespace {

// Runs the file-based inflater on `container`; returns the result and what
// was written.
std::pair<InflateResult, std::string> InflateFile(const std::string &container, std::int64_t *place = nullptr,
                                                 const BodyHeadCheck &head = nullptr) {
  std::FILE *in = std::tmpfile();
  std::FILE *out = std::tmpfile();
  std::fwrite(container.data(), 1, container.size(), in);
  std::rewind(in);
  const InflateResult r = InflateMaterials(in, out, nullptr, place, head);
  std::string written(std::size_t(std::ftell(out)), '\0');
  std::rewind(out);
  if (!written.empty()) {
    EXPECT_EQ(std::fread(written.data(), 1, written.size(), out), written.size());
  }
  std::fclose(in);
  std::fclose(out);
  return {r, written};
}

std::string WithCount(std::int32_t n, const std::string &rest) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[std::size_t(i)] = char((std::uint32_t(n) >> (8 * i)) & 0xFF);
  return s + rest;
}

std::string Noise(std::size_t n) {
  std::mt19937 rng(7);
  std::string s(n, '\0');
  for (auto &c : s) c = char(rng());
  return s;
}

}  // namespace

TEST(StationMaterialsFile, InflatesExactlyTheCountedBytes) {
  const std::string body = "TPF0 a small body";
  auto [r, out] = InflateFile(PackMaterials(body));
  EXPECT_EQ(r, InflateResult::Ok);
  EXPECT_EQ(out, body);

  // A stream holding more than N bytes: only N are written.
  auto [r2, out2] = InflateFile(PackMaterials(body, "TRAILING BYTES THAT ARE NOT READ"));
  EXPECT_EQ(r2, InflateResult::Ok);
  EXPECT_EQ(out2, body);

  // Bodies larger than one buffer, incompressible ones included.
  const std::string big = Noise(300000) + std::string(200000, 'x');
  auto [r3, out3] = InflateFile(PackMaterials(big));
  EXPECT_EQ(r3, InflateResult::Ok);
  EXPECT_EQ(out3, big);
  std::string mem;
  EXPECT_EQ(InflateMaterials(PackMaterials(big, "extra"), mem), InflateResult::Ok);
  EXPECT_EQ(mem, big);
}

TEST(StationMaterialsFile, CountOfZeroOrLessOrMissingWritesNothing) {
  const std::string packed = PackMaterials("body");
  auto [r0, out0] = InflateFile(WithCount(0, packed.substr(4)));
  EXPECT_EQ(r0, InflateResult::EmptyCount);
  EXPECT_TRUE(out0.empty());
  auto [rn, outn] = InflateFile(WithCount(-5, packed.substr(4)));
  EXPECT_EQ(rn, InflateResult::EmptyCount);
  EXPECT_TRUE(outn.empty());
  EXPECT_EQ(InflateFile("").first, InflateResult::NoCount);
  EXPECT_EQ(InflateFile("\x01\x00").first, InflateResult::NoCount);
}

TEST(StationMaterialsFile, DamagedOrShortStreamsFail) {
  const std::string body = Noise(100000);
  const std::string packed = PackMaterials(body);

  // Truncated in the middle of the zlib data.
  EXPECT_EQ(InflateFile(packed.substr(0, packed.size() / 2)).first, InflateResult::CutShort);
  // Nothing after the count.
  EXPECT_EQ(InflateFile(packed.substr(0, 4)).first, InflateResult::CutShort);
  // A complete stream that holds fewer bytes than the count.
  EXPECT_EQ(InflateFile(WithCount(int(body.size()) + 10, packed.substr(4))).first, InflateResult::ShortStream);
  // Not zlib data at all.
  EXPECT_EQ(InflateFile(WithCount(50, "this is not a zlib stream at all")).first, InflateResult::DamagedData);
  // Damaged in the middle of compressed data.
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + ";";
  std::string damaged = PackMaterials(text);
  for (std::size_t i = damaged.size() / 3; i < damaged.size() / 3 + 64; ++i) damaged[i] = char(~damaged[i]);
  EXPECT_NE(InflateFile(damaged).first, InflateResult::Ok);
  std::string mem;
  EXPECT_EQ(InflateMaterials(packed.substr(0, 100), mem), InflateResult::CutShort);

  // A body whose first bytes cannot begin a table is refused from them:
  // nothing of a compression bomb is written, and its cut end is never met.
  auto [rb, outb] = InflateFile(station::testing::CompressionBomb(), nullptr, ts::CanBeginTableStream);
  EXPECT_EQ(rb, InflateResult::RefusedHead);
  EXPECT_EQ(outb.size(), 0u);
  for (const auto &[head, result] : std::vector<std::pair<std::string, InflateResult>>{
           {"TPF0\xFB", InflateResult::RefusedHead},
           {std::string("TPF0\x03\xFB\x00\x00", 8), InflateResult::RefusedHead},
           {std::string("TPF0\x04\xFB\x00\x00\x00\x02", 10), InflateResult::RefusedHead},
           {std::string("TPF0\x01\x00", 6), InflateResult::Ok},
           {std::string("TPF0\x03\xFB\x00\x01", 8), InflateResult::Ok}}) {
    SCOPED_TRACE(head);
    EXPECT_EQ(InflateFile(PackMaterials(head + std::string(100000, '\0')), nullptr, ts::CanBeginTableStream).first,
              result);
  }
  // A body too short to judge is left to the table's load.
  EXPECT_EQ(InflateFile(PackMaterials("TP"), nullptr, ts::CanBeginTableStream).first, InflateResult::Ok);
}

TEST(StationMaterialsFile, DamageUpToTheStreamsLastByteIsFoundAndPlaced) {
  std::ifstream file(STATION_DEMO_BUILD_DIR "/klt-re11.kim", std::ios::binary);
  const std::string demo{std::istreambuf_iterator<char>(file), {}};
  std::string body;
  ASSERT_EQ(InflateMaterials(demo, body), InflateResult::Ok);
  for (const station::testing::ContainerDamage &damage : station::testing::ContainerDamages()) {
    SCOPED_TRACE(damage.name);
    const std::string damaged = damage.apply(demo);
    const std::int64_t expected = std::int64_t(damaged.size()) - damage.placeFromEnd;
    std::int64_t inMemory = -1, inFile = -1;
    EXPECT_EQ(InflateMaterials(damaged, body, &inMemory), damage.result);
    EXPECT_EQ(inMemory, expected);
    EXPECT_EQ(InflateFile(damaged, &inFile).first, damage.result);
    EXPECT_EQ(inFile, expected);
    if (damage.result == InflateResult::Ok) {
      std::string whole;
      InflateMaterials(demo, whole);
      EXPECT_EQ(body, whole);
    }
  }
}
