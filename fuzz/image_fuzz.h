// Shared body of the image fuzz targets: decode, check what a success promises, and hand
// the texels to a device as the texture manager would, for both decoders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/trace/trace_device.h"
#include "resources/image_decoder.h"

// One decoder's promises: a failure leaves nothing behind, a success is a whole picture
// within the limits that a device takes.
inline void FuzzDecoder(bool (*decode)(const uint8_t*, size_t, yulo::DecodedImage*),
                        const uint8_t* data, size_t size) {
  static yulo::TraceDevice* device = [] {
    auto* d = new yulo::TraceDevice;
    d->SetRecording(false);
    return d;
  }();
  yulo::DecodedImage image;
  if (!decode(data, size, &image)) {
    if (!image.rgba.empty() || image.width != 0) __builtin_trap();
    return;
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
}

// Both decoders: this system's, and stb_image's for every format (the Windows build's).
inline int FuzzImage(const uint8_t* data, size_t size) {
  FuzzDecoder(yulo::DecodeImage, data, size);
  FuzzDecoder(yulo::DecodeImageWithStb, data, size);
  return 0;
}
