#include "shell/win32/hyperlink.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>

#include "shell/link_target.h"

namespace yulo {

namespace {

constexpr DWORD kHoverTimeMs = 5;  // hover shows almost as soon as the pointer enters

ATOM hyperlinkAtom = 0;
HDC bitmapDc = nullptr;  // shared by every control to blit its bitmap; lives with the process
HyperlinkData* table[kHyperlinkCapacity] = {};
int count = 0;

// Copies text into a field, cut to fit.
template <size_t N>
void CopyField(char (&field)[N], const char* text) {
  if (text == nullptr) text = "";
  size_t length = std::strlen(text);
  if (length >= N) length = N - 1;
  std::memcpy(field, text, length);
  field[length] = '\0';
}

void TrackMouse(HWND window) {
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof track;
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = window;
  track.dwHoverTime = kHoverTimeMs;
  TrackMouseEvent(&track);
}

void DrawHyperlink(const HyperlinkData& data) {
  if (data.bitmap != nullptr && bitmapDc != nullptr) {
    const HGDIOBJ previous = SelectObject(bitmapDc, data.bitmap);
    BitBlt(data.dc, 0, 0, data.rect.right - data.rect.left, data.rect.bottom - data.rect.top,
           bitmapDc, 0, 0, SRCCOPY);
    SelectObject(bitmapDc, previous);
    return;
  }
  // Drawing the text again over itself would thicken its anti-aliased edges at every
  // hover change: the control's face is filled first.
  RECT rect = data.rect;
  FillRect(data.dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
  DrawTextA(data.dc, data.text, -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

HyperlinkData* CreateRecord(HWND window) {
  if (count >= kHyperlinkCapacity) return nullptr;  // such a control stays a plain window
  auto* data = static_cast<HyperlinkData*>(std::calloc(1, sizeof(HyperlinkData)));
  if (data == nullptr) return nullptr;
  data->window = window;
  data->dc = GetDC(window);
  data->exitOnClick = 1;
  SetTextColor(data->dc, kHyperlinkNormalColor);
  SetBkMode(data->dc, TRANSPARENT);
  SelectObject(data->dc, GetStockObject(ANSI_VAR_FONT));
  GetClientRect(window, &data->rect);
  table[count++] = data;
  TrackMouse(window);
  return data;
}

void DestroyRecord(HyperlinkData* data) {
  int at = 0;
  while (at < count && table[at] != data) ++at;
  if (at == count) return;
  for (int i = at + 1; i < count; ++i) table[i - 1] = table[i];
  table[--count] = nullptr;
  std::free(data);
}

void Click(const HyperlinkData& data) {
  // A target from links.txt that is not a web or mail link could start any program:
  // it is refused, and the dialog (or the process) stays as it was.
  if (!IsOpenableLinkTarget(data.target)) return;
  ShellExecuteA(nullptr, "open", data.target, nullptr, nullptr, SW_SHOWNORMAL);
  if (data.exitOnClick != 0) ExitProcess(1);
}

}  // namespace

ATOM RegisterHyperlinkClass() {
  if (hyperlinkAtom != 0) return hyperlinkAtom;
  WNDCLASSA windowClass = {};
  windowClass.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = HyperlinkWndProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WINLOGO));
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
  windowClass.lpszClassName = kHyperlinkClass;
  hyperlinkAtom = RegisterClassA(&windowClass);
  if (hyperlinkAtom != 0 && bitmapDc == nullptr) {
    HDC screen = GetDC(nullptr);
    bitmapDc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
  }
  return hyperlinkAtom;
}

HyperlinkData* FindHyperlink(HWND control) {
  for (int i = 0; i < count; ++i)
    if (table[i]->window == control) return table[i];
  return nullptr;
}

int HyperlinkCount() {
  return count;
}

LRESULT CALLBACK HyperlinkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    CreateRecord(window);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HyperlinkData* data = FindHyperlink(window);
  if (data == nullptr) {
    // No record (before WM_CREATE, or past the table's capacity): a plain window that
    // refuses the control's own messages.
    if (message >= HLM_SETTARGET && message <= HLM_SETBITMAP) return FALSE;
    return DefWindowProcA(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_DESTROY:
      DestroyRecord(data);
      break;
    case WM_SETTEXT:
      CopyField(data->text, reinterpret_cast<const char*>(lParam));
      InvalidateRect(window, nullptr, FALSE);
      return TRUE;
    case WM_SIZE:
      GetClientRect(window, &data->rect);
      break;
    case WM_PAINT:
      DrawHyperlink(*data);
      break;
    case WM_MOUSEMOVE:
      TrackMouse(window);
      break;
    case WM_MOUSEHOVER:
      SetTextColor(data->dc, kHyperlinkHoverColor);
      DrawHyperlink(*data);
      break;
    case WM_MOUSELEAVE:
      SetTextColor(data->dc, kHyperlinkNormalColor);
      DrawHyperlink(*data);
      break;
    case WM_LBUTTONDOWN:
      Click(*data);
      break;
    case HLM_SETTARGET:
      CopyField(data->target, reinterpret_cast<const char*>(wParam));
      return TRUE;
    case HLM_SETEXITONCLICK:
      data->exitOnClick = static_cast<int32_t>(wParam);
      return TRUE;
    case HLM_SETBITMAP:
      data->bitmap = reinterpret_cast<HBITMAP>(wParam);
      InvalidateRect(window, nullptr, FALSE);
      return TRUE;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT HyperlinkSetTarget(HWND control, const char* target) {
  return SendMessageA(control, HLM_SETTARGET, reinterpret_cast<WPARAM>(target), 0);
}

LRESULT HyperlinkSetExitOnClick(HWND control, int32_t exitOnClick) {
  return SendMessageA(control, HLM_SETEXITONCLICK, static_cast<WPARAM>(exitOnClick), 0);
}

LRESULT HyperlinkSetBitmap(HWND control, HBITMAP bitmap) {
  return SendMessageA(control, HLM_SETBITMAP, reinterpret_cast<WPARAM>(bitmap), 0);
}

}  // namespace yulo
