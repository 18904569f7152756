#include <gtest/gtest.h>

#include <cstdint>

#include "platform/posix/posix_platform.h"
#include "platform/posix/reg_file.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

// "Windows Registry Editor Version 5.00" as regedit writes it: UTF-16LE with
// a byte order mark.
std::string Utf16File(const std::string& ascii_text) {
  std::string out = "\xFF\xFE";
  for (const char c : ascii_text) {
    out += c;
    out += '\0';
  }
  return out;
}

constexpr char kServices[] = "SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";

TEST(RegFile, ReadsTheFiveFormatWithEveryValueKind) {
  // hex(2) "%ROOT%\bin" and hex(7) "A=1", "B=2" in UTF-16LE.
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer]\r\n"
      "\"ImagePath\"=\"\\\"C:\\\\Program Files\\\\FB\\\\bin\\\\fbsrvmrlx.exe\\\" -a -p 3051\"\r\n"
      "\"Start\"=dword:00000002\r\n"
      "@=\"default\"\r\n"
      "\"Expand\"=hex(2):25,00,52,00,4f,00,4f,00,54,00,25,00,5c,00,62,00,69,00,6e,00,\\\r\n"
      "  00,00\r\n"
      "\"Environment\"=hex(7):41,00,3d,00,31,00,00,00,42,00,3d,00,32,00,00,00,00,00\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"Gone\"=-\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
      "\"Ignored\"=\"y\"\r\n";
  auto file = RegFile::Parse(Utf16File(text), "test.reg");
  ASSERT_TRUE(file.ok()) << file.error().Describe();
  const RegKeyData* key = file->FindKey(std::string("\\") + kServices);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Find("imagepath")->text,
            "\"C:\\Program Files\\FB\\bin\\fbsrvmrlx.exe\" -a -p 3051");
  EXPECT_EQ(key->Find("Start")->dword, 2u);
  EXPECT_EQ(key->Find("")->text, "default");
  EXPECT_EQ(key->Find("Expand")->kind, RegValue::Kind::kExpandString);
  EXPECT_EQ(key->Find("Expand")->text, "%ROOT%\\bin");
  EXPECT_EQ(key->Find("Environment")->strings, (std::vector<std::string>{"A=1", "B=2"}));
  EXPECT_EQ(key->Find("Gone"), nullptr);
  EXPECT_TRUE(file->KeyExists("system\\currentcontrolset"));
  EXPECT_FALSE(file->KeyExists("SYSTEM\\CurrentControlSet\\Serv"));
  EXPECT_FALSE(file->KeyExists("Software\\Other"));
}

TEST(RegFile, ReadsRegedit4InWindows1251AndRemovesKeys) {
  const std::string text =
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
      "Firebird 2.0 \xe4\xeb\xff \xcf\xce \xc3\xca \"\xc1\xf0\xe5\xed\xe2\xe8\xea\"]\n"
      "\"DisplayName\"=\"\xcc\xe0\xf0\xeb\xe8\xea\xf1\"\n"
      "\"Path\"=hex(2):43,3a,5c,00\n"
      "[HKLM\\SOFTWARE\\Removed\\Sub]\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]\n";
  auto file = RegFile::Parse(text, "test.reg");
  ASSERT_TRUE(file.ok()) << file.error().Describe();
  const RegKeyData* key = file->FindKey(
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Firebird 2.0 для ПО ГК "
      "\"Бренвик\"");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Find("DisplayName")->text, "Марликс");
  EXPECT_EQ(key->Find("Path")->text, "C:\\");
  EXPECT_FALSE(file->KeyExists("SOFTWARE\\Removed"));
}

TEST(RegFile, NamesTheLineOfWhatItCannotRead) {
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "line 1: the file is empty"},
      {"[HKEY_LOCAL_MACHINE\\X]\n", "line 1: the file does not start with a .reg header"},
      {"REGEDIT4\n[HKLM\\X]\n\"v\"=dword:123456789\n", "line 3: a dword needs up to eight"},
      {"REGEDIT4\n[HKLM\\X]\n\"v\"=\"open\n", "line 3: a string value is not closed"},
      {"REGEDIT4\n[HKLM\\X\n", "line 2: a key line must end"},
  };
  for (const Case& c : cases) {
    auto file = RegFile::Parse(c.text, "bad.reg");
    ASSERT_FALSE(file.ok()) << c.text;
    EXPECT_EQ(file.error().text.rfind(c.error, 0), 0u) << file.error().text;
    EXPECT_EQ(file.error().path, "bad.reg");
  }
}

TEST(PosixRegistry, ReadsTheFileAtEveryCallAndKnowsNoKeysWithoutIt) {
  testing::TempFolder temp;
  const std::string path = temp.Path("registry.reg");
  PosixRegistry registry(path);
  EXPECT_FALSE(registry.KeyExists(kServices));
  EXPECT_EQ(registry.OpenKeyReadOnly(kServices).error().code, 2);

  temp.MakeFile("registry.reg",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                "BrenvikFireXBirdServer]\n\"ImagePath\"=\"/opt/fb/bin/fbsrvmrlx.exe\"\n"
                "\"Type\"=dword:00000010\n");
  EXPECT_TRUE(registry.KeyExists(kServices));
  auto key = registry.OpenKeyReadOnly(kServices);
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(key.value()->ReadString("IMAGEPATH"), "/opt/fb/bin/fbsrvmrlx.exe");
  EXPECT_EQ(key.value()->ReadDword("Type"), 16u);
  EXPECT_EQ(key.value()->ReadString("Type"), std::nullopt);
  EXPECT_EQ(key.value()->ReadDword("Missing"), std::nullopt);
  EXPECT_TRUE(registry.OpenKeyReadOnly("SYSTEM\\CurrentControlSet").ok());
}

}  // namespace
}  // namespace updater::platform
