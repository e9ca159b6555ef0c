// The asset generator: writes the install folder (links.txt, the banners, the icons) and
// its Data folder (meshes, model descriptions, characters, clips, textures, music).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yulo::assetgen {

// A folder that files are written into; subfolders are created on demand.
class OutputFolder {
 public:
  explicit OutputFolder(std::string root) : root_(std::move(root)) {}
  // Writes bytes to root/relativePath. On failure remembers the reason and returns false.
  bool Write(const std::string& relativePath, const std::vector<uint8_t>& bytes);
  const std::string& error() const { return error_; }
  const std::vector<std::string>& written() const { return written_; }  // relative paths
  uint64_t totalBytes() const { return totalBytes_; }

 private:
  std::string root_;
  std::string error_;
  std::vector<std::string> written_;
  uint64_t totalBytes_ = 0;
};

// Icon sizes written under icons/hicolor/<n>x<n>/apps/yulo.png.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Generates every file. Returns false (with out.error() set) when a file can't be written
// or an encoder fails. `log` receives one line per notable fact (levels, sizes), may be null.
bool GenerateAssets(OutputFolder& out, std::string* log);

}  // namespace yulo::assetgen
