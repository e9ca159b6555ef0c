#include "assetgen.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "creatures.h"
#include "image.h"
#include "models.h"
#include "music.h"
#include "textures.h"

namespace yulo::assetgen {

bool OutputFolder::Write(const std::string& relativePath, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = std::filesystem::path(root_) / relativePath;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    error_ = "can't create the folder of " + path.string() + ": " + ec.message();
    return false;
  }
  // Write beside the target and rename, so a reader never sees a half-written file.
  const std::filesystem::path temp = path.string() + ".part";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) {
      error_ = "can't write " + temp.string();
      return false;
    }
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    error_ = "can't rename " + temp.string() + ": " + ec.message();
    return false;
  }
  written_.push_back(relativePath);
  totalBytes_ += bytes.size();
  return true;
}

namespace {

std::vector<uint8_t> Text(const char* text) {
  std::vector<uint8_t> bytes;
  for (const char* p = text; *p; ++p) bytes.push_back(static_cast<uint8_t>(*p));
  return bytes;
}

void Note(std::string* log, const std::string& line) {
  if (log) *log += line + "\n";
}

bool WriteInstallFiles(OutputFolder& out) {
  if (!out.Write("links.txt", Text("link1=https://example.org/yulo/\r\n"
                                   "link2=https://example.org/yulo/more/\r\n"))) {
    return false;
  }
  return out.Write("ad1.bmp", EncodeBmp(BuildBanner(0))) &&
         out.Write("ad2.bmp", EncodeBmp(BuildBanner(1)));
}

// The same pictures as one Windows icon file (icons/yulo.ico, for the .scr's resources):
// a directory of entries, each a whole PNG file.
std::vector<uint8_t> EncodeIco(const std::vector<std::vector<uint8_t>>& pngs,
                               const std::vector<int>& sizes) {
  std::vector<uint8_t> ico;
  auto put16 = [&ico](uint32_t v) {
    ico.push_back(static_cast<uint8_t>(v));
    ico.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&put16](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put16(0);  // reserved
  put16(1);  // icon
  put16(static_cast<uint32_t>(pngs.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(pngs.size());
  for (size_t i = 0; i < pngs.size(); ++i) {
    const uint32_t side = sizes[i] >= 256 ? 0 : static_cast<uint32_t>(sizes[i]);  // 0 = 256
    ico.push_back(static_cast<uint8_t>(side));
    ico.push_back(static_cast<uint8_t>(side));
    ico.push_back(0);  // no palette
    ico.push_back(0);
    put16(1);   // planes
    put16(32);  // bits per pixel
    put32(static_cast<uint32_t>(pngs[i].size()));
    put32(offset);
    offset += static_cast<uint32_t>(pngs[i].size());
  }
  for (const std::vector<uint8_t>& png : pngs) ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

bool WriteIcons(OutputFolder& out) {
  std::vector<std::vector<uint8_t>> pngs;
  std::vector<int> sizes;
  for (int size : kIconSizes) {
    std::vector<uint8_t> png;
    if (!EncodePng(BuildIcon(size), &png)) return false;
    char path[96];
    std::snprintf(path, sizeof(path), "icons/hicolor/%dx%d/apps/yulo.png", size, size);
    if (!out.Write(path, png)) return false;
    if (size <= 256) {
      pngs.push_back(std::move(png));
      sizes.push_back(size);
    }
  }
  return out.Write("icons/yulo.ico", EncodeIco(pngs, sizes));
}

bool WriteTextures(OutputFolder& out) {
  return out.Write("Data/fir.tga", EncodeTga(BuildFirTexture(0), true)) &&
         out.Write("Data/fir2.tga", EncodeTga(BuildFirTexture(1), true)) &&
         out.Write("Data/snowflake.tga", EncodeTga(BuildSnowflakeTexture(), true)) &&
         out.Write("Data/particles.tga", EncodeTga(BuildParticleTexture(), true)) &&
         out.Write("Data/sky.tga", EncodeTga(BuildSkyTexture(), false)) &&
         out.Write("Data/snow_ground.tga", EncodeTga(BuildGroundTexture(), false));
}

bool WriteMusic(OutputFolder& out, std::string* log) {
  MusicLevels levels;
  const std::vector<float> samples = SynthesizeMusic(&levels);
  char line[160];
  std::snprintf(line, sizeof(line), "music: %.2f s, %.2f LUFS, peak %.2f dBFS",
                static_cast<double>(kMusicFrames) / kMusicSampleRate, levels.loudnessLufs,
                levels.peakDb);
  Note(log, line);
  std::vector<uint8_t> ogg;
  if (!EncodeVorbis(samples, 0.2f, &ogg)) return false;
  return out.Write("Data/music.ogg", ogg);
}

}  // namespace

bool GenerateAssets(OutputFolder& out, std::string* log) {
  if (!WriteInstallFiles(out) || !WriteIcons(out) || !WriteTextures(out) || !WriteModels(out) ||
      !WriteCreatures(out)) {
    return false;
  }
  if (!WriteMusic(out, log)) return false;
  char line[96];
  std::snprintf(line, sizeof(line), "%zu files, %.2f MB", out.written().size(),
                static_cast<double>(out.totalBytes()) / (1024.0 * 1024.0));
  Note(log, line);
  return true;
}

}  // namespace yulo::assetgen
