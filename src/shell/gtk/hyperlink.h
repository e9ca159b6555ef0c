// The banner link widget: a bitmap at its natural size (cut at the widget's edges) or, when
// there is none, a line of text centred in it, blue and red while the pointer is over it;
// the hand cursor; a left click opens the target with the desktop's default handler when
// it is a web or mail link (IsOpenableLinkTarget); other targets are shown, never opened.
#pragma once

#include <cstdint>

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkPixbuf GdkPixbuf;

namespace yulo {

inline constexpr int kHyperlinkCapacity = 255;             // live banners at one time
inline constexpr int kHyperlinkTargetCapacity = 255;       // bytes, terminator included
inline constexpr int kHyperlinkTextCapacity = 257;         // bytes, terminator included
inline constexpr uint32_t kHyperlinkNormalRgb = 0x0000C8;  // 0xRRGGBB: RGB(0, 0, 200)
inline constexpr uint32_t kHyperlinkHoverRgb = 0xC80000;   // RGB(200, 0, 0)
// Under a banner's text, whatever the theme: the light face those two colours read on.
inline constexpr uint32_t kHyperlinkFaceRgb = 0xF0F0F0;

struct HyperlinkData {
  GtkWidget* window;    // the banner
  GdkPixbuf* bitmap;    // image shown, or nullptr for the text; not owned
  int width, height;    // allocated size
  int32_t exitOnClick;  // non-zero: the process ends with code 1 after opening the target
  bool hover;           // the pointer is over the banner
  char target[kHyperlinkTargetCapacity];  // handed to the desktop on click
  char text[kHyperlinkTextCapacity];      // shown when there is no bitmap
};

// A new banner (a GTK widget; its owner packs and destroys it) with an empty text and
// target and exit-on-click set. While kHyperlinkCapacity banners are alive, the widget
// made has no record: it draws nothing, ignores clicks, and the setters return false.
GtkWidget* CreateHyperlink();

// Setters return false for a widget without a record. Texts longer than their field are
// cut at the last whole UTF-8 character that fits.
bool HyperlinkSetTarget(GtkWidget* banner, const char* target);
bool HyperlinkSetText(GtkWidget* banner, const char* text);
bool HyperlinkSetExitOnClick(GtkWidget* banner, int32_t exitOnClick);
bool HyperlinkSetBitmap(GtkWidget* banner, GdkPixbuf* bitmap);

// The record of a banner, or nullptr.
HyperlinkData* FindHyperlink(const GtkWidget* banner);
int HyperlinkCount();

// Opens an http, https or mailto URL with the desktop's default handler; false for any
// other target (IsOpenableLinkTarget) or when no handler took it.
bool OpenHyperlinkTarget(const char* target);

// Test seam: replaces what a click calls to open its target (nullptr: OpenHyperlinkTarget).
using HyperlinkOpener = bool (*)(const char* target);
void SetHyperlinkOpener(HyperlinkOpener opener);

}  // namespace yulo
