// Writes small built tables into a folder as extra fuzzing seeds: the shapes the sample
// tables lack or keep in files too large to mutate (every field type, BLOBs over several
// lookup segments, external BLOBs, a dictionary over two blocks, a reversed block chain).
// Usage: ff2_seeds FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "store/ff2/FieldLayout.h"
#include "store/ff2/Ff2TableBuilder.h"

namespace {

using ff::ff2::FfType;
using namespace ff2test;

std::string everyType() {
  Ff2TableBuilder t({field("Bool", FfType::Boolean, 1), field("Char", FfType::Char, 1, 1),
                     field("WChar", FfType::WideChar, 2, 1), field("Byte", FfType::Byte, 1),
                     field("Word16", FfType::Word16, 2), field("Word32", FfType::Word32, 4),
                     field("Int8", FfType::Int8, 1), field("Int16", FfType::Int16, 2),
                     field("Auto", FfType::AutoInc, 4), field("Single", FfType::Single, 4),
                     field("Ext", FfType::Extended, 10), field("Comp", FfType::Comp, 8),
                     field("StDate", FfType::StDate, 4), field("StTime", FfType::StTime, 4),
                     field("Bytes", FfType::ByteArray, 3, 3), field("Wide", FfType::WideString, 8, 3)});
  t.addRecord({"\x01", "\xE9", le16(0x20AC), "\xC8", le16(65000), le32(0xFFFFFFFF), "\xFB", le16(7), le32(7),
               f32(1.5f), le64(0xE000000000000000ull) + le16(0x4000), le64(12), le32(146097), le32(45296),
               "abc", le16(0xD83D) + le16(0xDE00) + le16(0)});
  t.addRecord(RawRecord(16));
  return t.build();
}

std::string blobs() {
  Ff2TableBuilder t({field("Bin", FfType::Blob, 8), field("Memo", FfType::BlobMemo, 8),
                     field("Rtf", FfType::BlobFmtMemo, 8)});
  const auto many = t.addBlob(std::string(5000, 'b'), 500, 3);
  const auto memo = t.addBlob("Sm\xF8rbr\xF8" "d");
  const auto file = t.addBlob("", 4012, 300, -1, "C:\\x.bmp");
  t.addRecord({le64(many), le64(memo), le64(file)});
  t.addRecord({le64(t.addBlob("")), le64(0), le64(t.addBlob("", 4012, 300, -2, "KUNDE"))});
  return t.build();
}

std::string longDictionaryReversedChain() {
  std::vector<TestField> fields;
  for (int i = 0; i < 70; ++i) {
    TestField f = field("F" + std::to_string(i), FfType::ShortString, 11, 10);
    f.description = std::string(60, 'd');
    f.nameTag = static_cast<std::uint8_t>(i % 3 == 0 ? 0x06 : i % 3 == 1 ? 0x0C : 0x12);
    fields.push_back(f);
  }
  fields[1].defaultValue = std::string("\x02" "ab" + std::string(8, '\0'));
  Ff2TableBuilder t(fields);
  t.addIndex({"ByF1", {1, 2}, false, false, true, "Helper"});
  t.addIndex({"Custom", {}, true, true, false, ""});
  for (int i = 0; i < 12; ++i) {
    t.addRecord({"\x02" "ok"});
    if (i % 4 == 0) t.addDeletedSlot();
  }
  t.reverseDataChain();
  t.setUnusedFlag(0x46);
  return t.build();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ff2_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::ofstream(folder + "/built-every-type.ff2", std::ios::binary) << everyType();
  std::ofstream(folder + "/built-blobs.ff2", std::ios::binary) << blobs();
  std::ofstream(folder + "/built-long-dictionary.ff2", std::ios::binary) << longDictionaryReversedChain();
  return 0;
}
