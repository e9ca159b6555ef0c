// A stand-in for the display control panel's preview area, for the Wine checks of
// "yulo.scr /p HWND": a green window whose handle it passes to the screensaver.
//   yulo-preview-host SCR SECONDS
// Shows the window, starts "SCR /p <handle>", and prints (wall-clock milliseconds since
// 1970, so that a script can line them up with its own observations):
//   host <window handle in hex> <time>   once the window is shown
//   child <time> <width>x<height>         when the screensaver's child window appears
//   busy <time>                           when the child first leaves a message unanswered
//                                         for 250 ms: it has stopped waiting and is making
//                                         its renderer and loading the scene, before which
//                                         nothing can be drawn
// After SECONDS it destroys its window, waits up to 30 s for the screensaver and prints
//   exit <code>                           (or "exit timeout")
// Its own exit code is 0 when the screensaver ended by itself with code 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long WallMilliseconds() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<long long>(ticks / 10000ULL) - 11644473600000LL;  // 1601 -> 1970
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: yulo-preview-host SCR SECONDS\n");
    return 2;
  }
  const DWORD lifetimeMs = static_cast<DWORD>(std::atoi(argv[2])) * 1000u;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = CreateSolidBrush(RGB(0, 255, 0));
  windowClass.lpszClassName = "YuloPreviewHost";
  RegisterClassA(&windowClass);
  // A 152 x 112 client area, the size of the classic preview area.
  RECT frame = {0, 0, 152, 112};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  HWND host = CreateWindowA("YuloPreviewHost", "Yulo Preview Host", WS_OVERLAPPEDWINDOW, 40, 40,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            instance, nullptr);
  if (host == nullptr) return 2;
  ShowWindow(host, SW_SHOW);
  UpdateWindow(host);
  Pump();
  std::printf("host %llx %lld\n",
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)),
              WallMilliseconds());
  std::fflush(stdout);

  char command[1024];
  std::snprintf(command, sizeof command, "\"%s\" /p %llu", argv[1],
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::printf("exit cannot-start\n");
    return 1;
  }

  const DWORD start = GetTickCount();
  bool childSeen = false;
  bool busySeen = false;
  HWND child = nullptr;
  while (GetTickCount() - start < lifetimeMs) {
    Pump();
    if (!childSeen && (child = FindWindowExA(host, nullptr, "D3D", nullptr)) != nullptr) {
      childSeen = true;
      RECT client{};
      GetClientRect(child, &client);
      std::printf("child %lld %ldx%ld\n", WallMilliseconds(), client.right - client.left,
                  client.bottom - client.top);
      std::fflush(stdout);
    }
    if (childSeen && !busySeen) {
      // While the screensaver waits, it answers messages at once.
      DWORD_PTR answer = 0;
      if (SendMessageTimeoutA(child, WM_NULL, 0, 0, SMTO_NORMAL, 250, &answer) == 0 &&
          IsWindow(child)) {
        busySeen = true;
        std::printf("busy %lld\n", WallMilliseconds() - 250);
        std::fflush(stdout);
      }
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
    Sleep(2);
  }
  DestroyWindow(host);
  Pump();
  DWORD code = 1;
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    std::printf("exit timeout\n");
    TerminateProcess(process.hProcess, 1);
    return 1;
  }
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("exit %lu\n", code);
  return code == 0 && childSeen ? 0 : 1;
}
