#include "toolkit/version_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "tests/support/elf_writer.h"
#include "tests/support/temp_dir.h"
#include "toolkit/elf_section.h"
#include "toolkit/errors.h"

namespace {

class VersionInfo : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    PutFile(folder_ / name, bytes);
    return folder_ / name;
  }
  std::string WriteProgram(const std::string& name, const std::vector<std::uint8_t>& table, bool wide = true,
                           bool bigEndian = false) {
    return Write(name, MakeElf({{".text", {0xC3, 0x90}}, {VersionSectionName, table}, {".data", {1, 2, 3}}}, wide,
                               bigEndian));
  }

  TempDir folder_;
};

constexpr TVersionString kJapanese[] = {
    {"CompanyName", ""}, {"LegalCopyright", "Copyright (C) 2026 Example"}, {"ProductName", "ルフレミナ"},
    {"ProductVersion", "1.05"}};
constexpr TVersionString kEnglish[] = {{"ProductName", "Rufuremina"}, {"ProductVersion", "1.05 en"}};
constexpr TVersionTranslation kJapaneseOnly[] = {{0x0411, 0x03A4}};
constexpr TVersionTranslation kEnglishFirst[] = {{0x0409, 0x04B0}, {0x0411, 0x03A4}};
constexpr TVersionStringTable kBothTables[] = {{{0x0411, 0x03A4}, kJapanese}, {{0x0409, 0x04B0}, kEnglish}};

constexpr TVersionResource kResource{
    .Fixed = {.FileVersionMS = 0x00010000, .FileVersionLS = 0x00050000, .FileOS = 4, .FileType = 1},
    .Translations = kJapaneseOnly,
    .StringTables = kBothTables};

}  // namespace

// The build places the compile-time bytes in the program; the reader must understand exactly them.
TEST(VersionTable, CompileTimeBytesEqualRunTimeBytesAndParseBack) {
  constexpr auto built = BuildVersionTable<VersionTableSize(kResource)>(kResource);
  const std::vector<std::uint8_t> bytes = VersionTableBytes(kResource);
  ASSERT_EQ(std::vector<std::uint8_t>(built.begin(), built.end()), bytes);

  const auto table = TVersionTable::Parse(bytes);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Fixed().Signature, 0xFEEF04BDu);
  EXPECT_EQ(table->Fixed().FileVersionLS, 0x00050000u);
  EXPECT_EQ(table->Fixed().FileOS, 4u);
  const auto translation = table->Query("\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(std::vector<std::uint8_t>(translation->begin(), translation->end()),
            (std::vector<std::uint8_t>{0x11, 0x04, 0xA4, 0x03}));
  EXPECT_EQ(VersionStringPath({0x0411, 0x03A4}, "ProductName"), "\\StringFileInfo\\041103A4\\ProductName");
  EXPECT_TRUE(table->Query("\\stringfileinfo\\041103a4\\productname"));

  for (std::size_t cut = 0; cut < bytes.size(); cut += 7)
    EXPECT_FALSE(TVersionTable::Parse(std::span(bytes).first(cut))) << "cut at " << cut;
}

TEST_F(VersionInfo, ReadsTheFirstTranslationsStrings) {
  for (bool wide : {true, false}) {
    for (bool bigEndian : {false, true}) {
      const std::string program = WriteProgram("program", VersionTableBytes(kResource), wide, bigEndian);
      EXPECT_EQ(ReadVersionString(program, 9), "ルフレミナ");
      EXPECT_EQ(ReadVersionString(program, 10), "1.05");
      EXPECT_EQ(ReadVersionString(program, 5), "Copyright (C) 2026 Example");
      EXPECT_EQ(ReadVersionString(program, 1), "") << "present but empty";
      EXPECT_EQ(ReadVersionString(program, 11), "") << "absent";
    }
  }
  TVersionResource english = kResource;
  english.Translations = kEnglishFirst;
  const std::string program = WriteProgram("english", VersionTableBytes(english));
  EXPECT_EQ(ReadVersionString(program, 9), "Rufuremina");
  EXPECT_EQ(ReadVersionString(program, 10), "1.05 en");
  EXPECT_EQ(ReadVersionString(program, 5), "") << "the English table has no legal line";
  EXPECT_THROW(ReadVersionString(program, 12), std::out_of_range);
}

TEST_F(VersionInfo, ATablesBytesAnswerAsTheProgramFileHoldingThem) {
  TVersionResource english = kResource;
  english.Translations = kEnglishFirst;
  for (const TVersionResource& resource : {kResource, english}) {
    const std::vector<std::uint8_t> bytes = VersionTableBytes(resource);
    const std::string program = WriteProgram("program", bytes);
    for (int index = 0; index < 12; ++index)
      EXPECT_EQ(ReadVersionString(std::span<const std::uint8_t>(bytes), index), ReadVersionString(program, index));
  }
  EXPECT_EQ(ReadVersionString(std::span<const std::uint8_t>(), 9), "") << "no table";
  std::vector<std::uint8_t> damaged = VersionTableBytes(kResource);
  damaged.resize(damaged.size() / 2);
  EXPECT_THROW(ReadVersionString(std::span<const std::uint8_t>(damaged), 9), Exception);
  EXPECT_THROW(ReadVersionString(std::span<const std::uint8_t>(damaged), 12), std::out_of_range);
}

TEST_F(VersionInfo, FilesWithoutATableAnswerEmpty) {
  std::vector<std::string> files = {
      Write("text", {'h', 'e', 'l', 'l', 'o'}),
      Write("empty", {}),
      folder_ / "missing",
      Write("elf without table", MakeElf({{".text", {0xC3}}}, true, false)),
      std::filesystem::read_symlink("/proc/self/exe").string(),  // this test program has none
  };
  for (const std::string& file : files)
    for (int index = 0; index < 12; ++index) EXPECT_EQ(ReadVersionString(file, index), "") << file;
}

TEST_F(VersionInfo, ATableWithoutUsableTranslationFails) {
  TVersionResource none = kResource;
  none.Translations = {};
  std::vector<std::uint8_t> damaged = VersionTableBytes(kResource);
  damaged.resize(damaged.size() / 2);
  for (const auto& table : {VersionTableBytes(none), damaged}) {
    const std::string program = WriteProgram("program", table);
    try {
      ReadVersionString(program, 9);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), SVersionInfoFailed);
    }
  }
}

// Headers that point outside the file must read as "no table", never outside the bytes read.
TEST_F(VersionInfo, DamagedElfFilesReadAsNoTable) {
  const std::vector<std::uint8_t> good = MakeElf({{VersionSectionName, VersionTableBytes(kResource)}}, true, false);
  ASSERT_EQ(ReadVersionString(Write("good", good), 10), "1.05");
  const std::size_t table = std::size_t(good[0x28]) | std::size_t(good[0x29]) << 8;
  const struct {
    const char* what;
    std::size_t at;
    std::uint8_t value;
  } damages[] = {
      {"section table beyond the end", 0x2A, 0x7F},
      {"entries too small", 0x3A, 8},
      {"names index beyond the count", 0x3E, 9},
      {"name offset beyond the names", table + 64 + 3, 0x40},
      {"section offset beyond the end", table + 64 + 0x1F, 0x10},
      {"section size beyond the end", table + 64 + 0x25, 0x01},
  };
  for (const auto& d : damages) {
    std::vector<std::uint8_t> bad = good;
    bad[d.at] = d.value;
    EXPECT_FALSE(ReadElfSection(Write("bad", bad), VersionSectionName)) << d.what;
  }
  for (std::size_t cut = 0; cut < good.size(); cut += 5) {
    const std::vector<std::uint8_t> cutOff(good.begin(), good.begin() + std::ptrdiff_t(cut));
    const std::string file = Write("cut", cutOff);
    EXPECT_NO_FATAL_FAILURE({
      try {
        ReadVersionString(file, 10);
      } catch (const Exception&) {  // a section cut inside the table is a damaged table
      }
    });
  }
}
