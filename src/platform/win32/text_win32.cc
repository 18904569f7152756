// UTF-16 and Windows-1251 conversions through the Windows code page API.
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

constexpr UINT kCp1251 = 1251;

std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, out.data(), length);
  return out;
}

std::string FromWide(UINT code_page, std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  // No best-fit guesses ("e" for "é"): a character Windows-1251 lacks becomes
  // "?", as on Linux.
  const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length =
      WideCharToMultiByte(code_page, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(code_page, flags, text.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring Widen(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }

std::string Narrow(const std::wstring& utf16) { return FromWide(CP_UTF8, utf16); }

std::string Utf8ToCp1251(std::string_view utf8) {
  return FromWide(kCp1251, ToWide(CP_UTF8, utf8));
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  return FromWide(CP_UTF8, ToWide(kCp1251, cp1251));
}

std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToCp1251(utf8); }

std::string AnsiToUtf8(std::string_view ansi) { return Cp1251ToUtf8(ansi); }

std::string Cp1251ToAnsi(std::string_view cp1251) { return std::string(cp1251); }

}  // namespace updater::platform
