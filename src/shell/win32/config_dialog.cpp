#include "shell/win32/config_dialog.h"

#include <commctrl.h>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "shell/settings.h"
#include "shell/value_store.h"
#include "shell/win32/hyperlink.h"
#include "shell/win32/resource_ids.h"

namespace yulo {

namespace {

constexpr int kVolumeSteps = 20;

// The banner bitmaps belong to the dialog: the controls only show them.
HBITMAP bannerBitmaps[2] = {};

void SetUpBanner(HWND dialog, int id, const char* link, const char* imageFile, int slot) {
  HWND banner = GetDlgItem(dialog, id);
  SetWindowTextA(banner, link);
  HyperlinkSetTarget(banner, link);
  EnterFolder(installDir);
  // The name made whole against the install folder: some loaders look beside the program
  // before the current folder, and the install folder need not be the program's.
  char path[MAX_PATH];
  const DWORD length = GetFullPathNameA(imageFile, sizeof path, path, nullptr);
  const char* file = length > 0 && length < sizeof path ? path : imageFile;
  bannerBitmaps[slot] =
      static_cast<HBITMAP>(LoadImageA(nullptr, file, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  HyperlinkSetBitmap(banner, bannerBitmaps[slot]);
  HyperlinkSetExitOnClick(banner, 0);
}

void FreeBannerBitmaps() {
  for (HBITMAP& bitmap : bannerBitmaps) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = nullptr;
  }
}

}  // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND slider = GetDlgItem(dialog, IDC_VOLUME_SLIDER);
      SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, kVolumeSteps));
      // A stored step outside the range shows at the nearest end; it is only written back
      // when the user presses OK.
      SendMessageA(slider, TBM_SETPOS, TRUE, settings.musicVolume);
      SetUpBanner(dialog, IDC_BANNER1, link1, "ad1.bmp", 0);
      SetUpBanner(dialog, IDC_BANNER2, link2, "ad2.bmp", 1);
      SetWindowTextA(dialog, windowTitle);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          const int32_t previous = settings.musicVolume;
          settings.musicVolume = static_cast<int32_t>(
              SendMessageA(GetDlgItem(dialog, IDC_VOLUME_SLIDER), TBM_GETPOS, 0, 0));
          if (!SaveSettings()) {
            settings.musicVolume = previous;
            MessageBoxA(dialog, "The settings could not be saved. The volume stays as it was.",
                        windowTitle, MB_OK | MB_ICONERROR);
            return TRUE;
          }
          EndDialog(dialog, 0);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          return TRUE;
      }
    case WM_DESTROY:
      FreeBannerBitmaps();
      return FALSE;
    default:
      return FALSE;
  }
}

int RunConfigureDialog(HWND owner) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterHyperlinkClass();
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG),
                                         owner, ConfigDialogProc, 0);
  FreeBannerBitmaps();
  if (result == -1) {
    ShowMessage(windowTitle, "The settings dialog could not be opened.");
    return 1;
  }
  return 0;
}

}  // namespace yulo
