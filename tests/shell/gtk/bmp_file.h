// Writes solid-colour Windows bitmap files for the banner tests.
#pragma once

#include <string>

namespace yulo::test {

// A 24-bit bottom-up BMP of one colour.
bool WriteSolidBmp(const std::string& path, int width, int height, int r, int g, int b);

}  // namespace yulo::test
