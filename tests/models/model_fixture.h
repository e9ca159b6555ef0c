// A temporary data folder as the current directory, a recording device installed as the
// renderer's, and empty asset libraries, for the suites that load model files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/trace/trace_device.h"
#include "support/temp_dir.h"

namespace yulo::test {

class ModelFilesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  void Write(const std::string& name, const std::string& text) const;
  // A 2 x 2 picture: as an uncompressed 32-bit TGA, or as a 24-bit BMP.
  void WriteTga(const std::string& name) const;
  void WriteBmp(const std::string& name) const;

  std::vector<const TraceRecord*> Records(TraceKind kind) const { return device.RecordsOf(kind); }

  ScopedTempDir dir;
  TraceDevice device;
};

}  // namespace yulo::test
