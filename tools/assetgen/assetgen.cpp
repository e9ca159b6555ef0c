#include "assetgen.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

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

bool WriteIcons(OutputFolder& out) {
  for (int size : kIconSizes) {
    std::vector<uint8_t> png;
    if (!EncodePng(BuildIcon(size), &png)) return false;
    char path[96];
    std::snprintf(path, sizeof(path), "icons/hicolor/%dx%d/apps/yulo.png", size, size);
    if (!out.Write(path, png)) return false;
  }
  return true;
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
