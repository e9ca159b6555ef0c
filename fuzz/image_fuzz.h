// Shared body of the image fuzz targets: decode, check what a success promises, and hand
// the texels to a device as the texture manager would.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/trace/trace_device.h"
#include "resources/image_decoder.h"

inline int FuzzImage(const uint8_t* data, size_t size) {
  static yulo::TraceDevice* device = [] {
    auto* d = new yulo::TraceDevice;
    d->SetRecording(false);
    return d;
  }();
  yulo::DecodedImage image;
  if (!yulo::DecodeImage(data, size, &image)) {
    if (!image.rgba.empty() || image.width != 0) __builtin_trap();
    return 0;
  }
  if (image.width == 0 || image.height == 0 || image.width > yulo::kMaxImageSide ||
      image.height > yulo::kMaxImageSide ||
      image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
    __builtin_trap();
  }
  yulo::DeviceTexture* texture =
      device->CreateTexture(image.width, image.height, image.rgba.data());
  if (texture == nullptr) __builtin_trap();
  texture->Release();
  return 0;
}
