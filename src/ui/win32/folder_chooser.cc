#include "ui/win32/folder_chooser.h"

#include <shlobj.h>

#include <vector>

#include "platform/win32/win32_platform.h"

namespace updater::win32 {
namespace {

// The thread's enabled, visible windows disabled for the dialog's time and
// enabled again afterwards, with the critical-error boxes switched off the
// same way.
class ModalState {
 public:
  ModalState() : error_mode_(SetErrorMode(SEM_FAILCRITICALERRORS)) {
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(&disabled_));
    for (HWND window : disabled_) EnableWindow(window, FALSE);
  }
  ~ModalState() {
    for (HWND window : disabled_) {
      if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    SetErrorMode(error_mode_);
  }
  ModalState(const ModalState&) = delete;
  ModalState& operator=(const ModalState&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
      reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
  }

  UINT error_mode_;
  std::vector<HWND> disabled_;
};

// Selects the folder handed over as the data once the dialog is ready.
int CALLBACK SelectInitialFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  }
  return 0;
}

}  // namespace

bool BrowseForFolder(HWND owner, platform::FileSystem& files, const std::string& title,
                     std::string& folder) {
  if (!files.FolderExists(folder)) folder.clear();
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return false;
  auto* display_name = static_cast<wchar_t*>(allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
  if (display_name == nullptr) {
    allocator->Release();
    return false;
  }
  const std::wstring wide_title = platform::Widen(title);
  const std::wstring initial = platform::Widen(folder);
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = display_name;
  info.lpszTitle = wide_title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  if (!folder.empty()) {
    info.lpfn = SelectInitialFolder;
    info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
  }

  bool confirmed = false;
  {
    ModalState modal;
    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    if (item != nullptr) {
      wchar_t path[MAX_PATH] = {};
      confirmed = SHGetPathFromIDListW(item, path) != FALSE;
      allocator->Free(item);
      if (confirmed) folder = platform::Narrow(path);
    }
  }
  allocator->Free(display_name);
  allocator->Release();
  return confirmed;
}

}  // namespace updater::win32
