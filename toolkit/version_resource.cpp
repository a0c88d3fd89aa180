// The version information of both programs (the window and the batch renderer), placed in its own
// section of each executable so that the About box and --version read it back from the program
// file at run time. Linked into each program itself (not into a library), so that the linker always
// keeps it.
#include "toolkit/version_info.h"

namespace {

constexpr TVersionTranslation kTranslations[] = {{0x0411, 0x03A4}};  // Japanese, Shift-JIS

constexpr TVersionString kStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "ルフレミナ"},
    {"FileVersion", "1.0.6.0"},
    {"InternalName", "ルフレミナ"},
    {"LegalCopyright", "Copyright (C) 2026 ルフレミナ・プロジェクト"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", ""},
    {"ProductName", "ルフレミナ"},
    {"ProductVersion", "1.06"},
    {"Comments", ""},
};

constexpr TVersionStringTable kStringTables[] = {{{0x0411, 0x03A4}, kStrings}};

constexpr TVersionResource kResource = {
    .Fixed = {.FileVersionMS = 0x00010000,  // 1.0
              .FileVersionLS = 0x00060000,  // .6.0
              .ProductVersionMS = 0x00010000,
              .ProductVersionLS = 0x00060000,
              .FileFlagsMask = 0x3F,
              .FileFlags = 0,
              .FileOS = 0x4,
              .FileType = 0x1},
    .Translations = kTranslations,
    .StringTables = kStringTables,
};

}  // namespace

[[gnu::section(".rflversion"), gnu::used]] extern const auto RflVersionTable =
    BuildVersionTable<VersionTableSize(kResource)>(kResource);

std::span<const std::uint8_t> ProgramVersionTable() { return RflVersionTable; }
