// A stand-in d3d8.dll for the Wine check of a lost device: it hands every call on to the
// real one (copied beside it as real_d3d8.dll) and makes the first device behave as a lost
// one does on Windows. From present YULO_LOST_AT on (default 10), for YULO_LOST_MS
// milliseconds (default 3000), Present and TestCooperativeLevel answer D3DERR_DEVICELOST
// and nothing is drawn; then TestCooperativeLevel answers D3DERR_DEVICENOTRESET until a
// Reset. Written to the file YULO_LOST_LOG, one line each:
//   second <state> <presents>   every second of presents; state ok, lost or notreset
//   reset                       the Reset that ended the loss
// The interfaces as C structures with their function tables, to replace entries in them.
#define CINTERFACE
#include <windows.h>
// (after windows.h, which it needs)
#include <d3d8.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum class State { Ok, Lost, NotReset };
const char* const kStateNames[] = {"ok", "lost", "notreset"};

IDirect3DDevice8Vtbl real = {};  // the device's own functions
HRESULT(STDMETHODCALLTYPE* realCreateDevice)
(IDirect3D8*, UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice8**);
State state = State::Ok;
long presents = 0;
long lostAt = 10;
DWORD lostMs = 3000;
DWORD lostSince = 0;
DWORD secondStart = 0;
long presentsThisSecond = 0;
FILE* out = nullptr;

void Advance() {
  if (state == State::Ok && lostAt > 0 && presents >= lostAt) {
    state = State::Lost;
    lostSince = GetTickCount();
    lostAt = 0;  // once
  } else if (state == State::Lost && GetTickCount() - lostSince >= lostMs) {
    state = State::NotReset;
  }
}

void CountPresent() {
  ++presents;
  ++presentsThisSecond;
  const DWORD now = GetTickCount();
  if (secondStart == 0) secondStart = now;
  if (now - secondStart >= 1000) {
    std::fprintf(out, "second %s %ld\n", kStateNames[static_cast<int>(state)], presentsThisSecond);
    std::fflush(out);
    secondStart = now;
    presentsThisSecond = 0;
  }
}

HRESULT STDMETHODCALLTYPE Present(IDirect3DDevice8* device, const RECT* source, const RECT* dest,
                                  HWND window, const RGNDATA* dirty) {
  CountPresent();
  Advance();
  if (state != State::Ok) return D3DERR_DEVICELOST;
  return real.Present(device, source, dest, window, dirty);
}

HRESULT STDMETHODCALLTYPE TestCooperativeLevel(IDirect3DDevice8* device) {
  Advance();
  if (state == State::Lost) return D3DERR_DEVICELOST;
  if (state == State::NotReset) return D3DERR_DEVICENOTRESET;
  return real.TestCooperativeLevel(device);
}

HRESULT STDMETHODCALLTYPE Reset(IDirect3DDevice8* device, D3DPRESENT_PARAMETERS* parameters) {
  if (state == State::Lost) return D3DERR_DEVICELOST;
  const HRESULT result = real.Reset(device, parameters);
  if (state == State::NotReset && SUCCEEDED(result)) {
    state = State::Ok;
    std::fprintf(out, "reset\n");
    std::fflush(out);
  }
  return result;
}

// While the device is lost, drawing does nothing, as on Windows.
HRESULT STDMETHODCALLTYPE BeginScene(IDirect3DDevice8* device) {
  return state != State::Ok ? D3D_OK : real.BeginScene(device);
}
HRESULT STDMETHODCALLTYPE EndScene(IDirect3DDevice8* device) {
  return state != State::Ok ? D3D_OK : real.EndScene(device);
}
HRESULT STDMETHODCALLTYPE Clear(IDirect3DDevice8* device, DWORD count, const D3DRECT* rects,
                                DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  return state != State::Ok ? D3D_OK : real.Clear(device, count, rects, flags, colour, z, stencil);
}
HRESULT STDMETHODCALLTYPE DrawPrimitive(IDirect3DDevice8* device, D3DPRIMITIVETYPE type, UINT start,
                                        UINT count) {
  return state != State::Ok ? D3D_OK : real.DrawPrimitive(device, type, start, count);
}
HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(IDirect3DDevice8* device, D3DPRIMITIVETYPE type,
                                               UINT minIndex, UINT vertices, UINT start,
                                               UINT count) {
  return state != State::Ok
             ? D3D_OK
             : real.DrawIndexedPrimitive(device, type, minIndex, vertices, start, count);
}
HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(IDirect3DDevice8* device, D3DPRIMITIVETYPE type,
                                          UINT count, const void* data, UINT stride) {
  return state != State::Ok ? D3D_OK : real.DrawPrimitiveUP(device, type, count, data, stride);
}

HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(IDirect3DDevice8* device, D3DPRIMITIVETYPE type,
                                                 UINT minIndex, UINT vertices, UINT count,
                                                 const void* indices, D3DFORMAT format,
                                                 const void* data, UINT stride) {
  return state != State::Ok ? D3D_OK
                            : real.DrawIndexedPrimitiveUP(device, type, minIndex, vertices, count,
                                                          indices, format, data, stride);
}

HRESULT STDMETHODCALLTYPE CreateDevice(IDirect3D8* d3d, UINT adapter, D3DDEVTYPE type, HWND window,
                                       DWORD flags, D3DPRESENT_PARAMETERS* parameters,
                                       IDirect3DDevice8** device) {
  const HRESULT result = realCreateDevice(d3d, adapter, type, window, flags, parameters, device);
  if (FAILED(result) || *device == nullptr || real.Present != nullptr) return result;
  IDirect3DDevice8Vtbl* table = (*device)->lpVtbl;
  real = *table;
  DWORD old = 0;
  VirtualProtect(table, sizeof *table, PAGE_READWRITE, &old);
  table->Present = Present;
  table->TestCooperativeLevel = TestCooperativeLevel;
  table->Reset = Reset;
  table->BeginScene = BeginScene;
  table->EndScene = EndScene;
  table->Clear = Clear;
  table->DrawPrimitive = DrawPrimitive;
  table->DrawIndexedPrimitive = DrawIndexedPrimitive;
  table->DrawPrimitiveUP = DrawPrimitiveUP;
  table->DrawIndexedPrimitiveUP = DrawIndexedPrimitiveUP;
  return result;
}

}  // namespace

extern "C" __declspec(dllexport) IDirect3D8* WINAPI Direct3DCreate8(UINT version) {
  const char* log = std::getenv("YULO_LOST_LOG");
  out = std::fopen(log != nullptr ? log : "lost-device.log", "w");
  if (out == nullptr) return nullptr;
  if (const char* at = std::getenv("YULO_LOST_AT")) lostAt = std::atol(at);
  if (const char* ms = std::getenv("YULO_LOST_MS")) lostMs = static_cast<DWORD>(std::atol(ms));
  HMODULE library = LoadLibraryA("real_d3d8.dll");
  if (library == nullptr) return nullptr;
  using Create = IDirect3D8*(WINAPI*)(UINT);
  const auto create =
      reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate8")));
  IDirect3D8* d3d = create != nullptr ? create(version) : nullptr;
  if (d3d == nullptr) return nullptr;
  IDirect3D8Vtbl* table = d3d->lpVtbl;
  realCreateDevice = table->CreateDevice;
  DWORD old = 0;
  VirtualProtect(table, sizeof *table, PAGE_READWRITE, &old);
  table->CreateDevice = CreateDevice;
  return d3d;
}
