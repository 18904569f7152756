// The payload written out of the running test executable, which carries a
// 3 MiB resource "FILES" of type "EXEFILE" and a small one "HELPER" of type
// "DLL" (tests/CMakeLists.txt), as the updater carries its payload.
#include <gtest/gtest.h>

#include <filesystem>

#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::FailureOf;
using testing::FsPath;
using testing::ReadBytes;
using testing::TempFolder;

// The bytes support/make_blob.pl writes.
std::string ExpectedPayload() {
  std::string bytes(3145735, '\0');
  uint32_t x = 12345;
  for (char& byte : bytes) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<char>((x >> 16) & 0xFF);
  }
  return bytes;
}

TEST(ExtractPayloadResource, WritesTheEmbeddedPayloadByteForByte) {
  TempFolder temp;
  platform::Platform& real = platform::SystemPlatform();
  const std::string target = temp.MakeFile("files.exe", std::string(4 << 20, 'x'));
  ExtractPayloadResource(real, target, "");
  const std::string written = ReadBytes(target);
  ASSERT_EQ(written.size(), 3145735u);
  EXPECT_TRUE(written == ExpectedPayload());

  ExtractPayloadResource(real, temp.Path("second.exe"), "Files");
  EXPECT_EQ(fs::file_size(FsPath(temp.Path("second.exe"))), 3145735u);
}

TEST(ExtractPayloadResource, ExpandsARelativeTarget) {
  TempFolder temp;
  const fs::path before = fs::current_path();
  fs::current_path(FsPath(temp.path()));
  ExtractPayloadResource(platform::SystemPlatform(), "relative.exe", "files");
  fs::current_path(before);
  EXPECT_EQ(fs::file_size(FsPath(temp.Path("relative.exe"))), 3145735u);
}

TEST(ExtractPayloadResource, NamesTheResourceAndTheCauseWhenItFails) {
  TempFolder temp;
  platform::Platform& real = platform::SystemPlatform();
  // The resource exists, but under another type.
  EXPECT_EQ(FailureOf([&] { ExtractPayloadResource(real, temp.Path("a.exe"), "helper"); }),
            "Ошибка работы с ресурсом \"helper\"!\rResource helper not found");
  EXPECT_EQ(FailureOf([&] { ExtractPayloadResource(real, temp.Path("a.exe"), "NoSuch"); }),
            "Ошибка работы с ресурсом \"NoSuch\"!\rResource NoSuch not found");
  const std::string unwritable = temp.Path("missing/files.exe");
  EXPECT_EQ(FailureOf([&] { ExtractPayloadResource(real, unwritable, ""); }),
            "Ошибка работы с ресурсом \"files\"!\rCannot create file " + unwritable);
}

TEST(ExtractPayloadResource, AFailedWriteIsAStreamWriteError) {
  TempFolder temp;
  testing::FakePlatform fake;
  fake.resources.Add("EXEFILE", "FILES", "payload");
  fake.files.FailEvery(testing::FileCall::kAppendToFile);
  EXPECT_EQ(FailureOf([&] { ExtractPayloadResource(fake.platform, temp.Path("f.exe"), ""); }),
            "Ошибка работы с ресурсом \"files\"!\rStream write error");
}

TEST(ReadResource, ReadsASmallResourceWholeAndNamesAMissingOne) {
  platform::Platform& real = platform::SystemPlatform();
  EXPECT_EQ(ReadResource(real, "dll", "Helper"), "a small resource\n");
  EXPECT_EQ(ReadResource(real, "EXEFILE", "FILES").size(), 3145735u);
  EXPECT_EQ(FailureOf([&] { ReadResource(real, "IMAGES", "logotype"); }),
            "Ошибка работы с ресурсом \"logotype\"!\rResource logotype not found");
}

}  // namespace
}  // namespace updater
