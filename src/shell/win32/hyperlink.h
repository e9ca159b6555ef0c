// The banner link control, window class "Hyperlink": a bitmap at its natural size (cut at
// the control's edges) or, without one, a line of text centred in it, blue, and red while
// the pointer rests on it; the hand cursor; a left click opens the target with the shell's
// "open" verb when it is a web or mail link (IsOpenableLinkTarget), and other targets are
// never opened.
#pragma once

#include <windows.h>

#include <cstdint>

namespace yulo {

inline constexpr char kHyperlinkClass[] = "Hyperlink";
inline constexpr int kHyperlinkCapacity = 255;        // live controls at one time
inline constexpr int kHyperlinkTargetCapacity = 255;  // bytes, terminator included
inline constexpr int kHyperlinkTextCapacity = 257;    // bytes, terminator included
inline constexpr COLORREF kHyperlinkNormalColor = RGB(0, 0, 200);
inline constexpr COLORREF kHyperlinkHoverColor = RGB(200, 0, 0);

// Messages of the control, each answered TRUE (FALSE by a control without a record).
inline constexpr UINT HLM_SETTARGET = WM_USER + 1;       // wParam: const char*, copied
inline constexpr UINT HLM_SETEXITONCLICK = WM_USER + 2;  // wParam: 0 or not
inline constexpr UINT HLM_SETBITMAP = WM_USER + 3;       // wParam: HBITMAP or null, not owned

struct HyperlinkData {
  HWND window;
  HDC dc;               // the control's own context (CS_OWNDC), kept for its lifetime
  HBITMAP bitmap;       // shown when not null; owned by whoever set it
  RECT rect;            // client rectangle, taken at creation
  int32_t exitOnClick;  // non-zero: the process ends with code 1 after opening the target
  char target[kHyperlinkTargetCapacity];  // handed to the shell on a click
  char text[kHyperlinkTextCapacity];      // shown when there is no bitmap
};

// Registers the class (once; later calls return the same atom). 0 on failure.
ATOM RegisterHyperlinkClass();

LRESULT CALLBACK HyperlinkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Senders of the control's messages; each returns the message's result.
LRESULT HyperlinkSetTarget(HWND control, const char* target);
LRESULT HyperlinkSetExitOnClick(HWND control, int32_t exitOnClick);
LRESULT HyperlinkSetBitmap(HWND control, HBITMAP bitmap);

// The record of a control, or nullptr; how many controls have one.
HyperlinkData* FindHyperlink(HWND control);
int HyperlinkCount();

}  // namespace yulo
