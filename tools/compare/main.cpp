// yulo-compare: per-frame differences between two renderings of the same frames.
//   yulo-compare [options] A.png B.png
//   yulo-compare [options] --dirs DIR_A DIR_B   every DIR_A/*.png against DIR_B's of that name
// Options:
//   --out DIR          write NAME-diff.png and NAME-side.png (A | B | differences) there
//   --table FILE       write the results as a Markdown table
//   --tolerance N      channel difference (of 255) that counts as a difference (default 8)
//   --max-rmse P       fail a frame whose RMSE is above P % (default: no limit)
//   --max-outliers N   fail a frame with more than N differences no edge explains
//   --limits FILE      per-frame limits, lines "NAME MAX_RMSE MAX_OUTLIERS  # reason"
//   --background RRGGBB  the clear colour: differences within a pixel of it in both
//                      pictures lie on silhouettes and are no outliers
// Prints one line per frame; exits 0 when every frame is within its limits, 1 when one is
// not, 2 on a usage error or a picture that can't be read or differs in size.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "compare/compare.h"
#include "resources/image_decoder.h"
#include "resources/png_writer.h"

using namespace yulo;
namespace fs = std::filesystem;

namespace {

struct Limits {
  double maxRmse = -1.0;  // negative: none
  long long maxOutliers = -1;
};

struct Options {
  std::string out;
  std::string table;
  int tolerance = 8;
  Limits limits;
  std::map<std::string, Limits> perFrame;
  bool hasBackground = false;
  uint8_t background[3] = {0, 0, 0};
};

bool Load(const std::string& path, DecodedImage* image) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) return false;
  return !bytes.empty() && DecodeImage(bytes.data(), bytes.size(), image);
}

bool ReadLimits(const std::string& path, std::map<std::string, Limits>* limits) {
  std::ifstream file(path);
  if (!file) return false;
  std::string line;
  while (std::getline(file, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string name;
    Limits l;
    if (!(words >> name)) continue;
    if (!(words >> l.maxRmse >> l.maxOutliers)) return false;
    (*limits)[name] = l;
  }
  return true;
}

// Compares one pair; returns 0 within limits, 1 beyond, 2 when it can't be compared.
int ComparePair(const std::string& name, const std::string& pathA, const std::string& pathB,
                const Options& options, std::string* tableRows) {
  DecodedImage a, b;
  if (!Load(pathA, &a) || !Load(pathB, &b)) {
    std::fprintf(stderr, "yulo-compare: can't read %s or %s\n", pathA.c_str(), pathB.c_str());
    return 2;
  }
  const ImageView va{a.rgba.data(), a.width, a.height};
  const ImageView vb{b.rgba.data(), b.width, b.height};
  FrameDifference d;
  const uint8_t* background = options.hasBackground ? options.background : nullptr;
  if (!CompareFrames(va, vb, options.tolerance, &d, background)) {
    std::fprintf(stderr, "yulo-compare: %s is %ux%u, %s is %ux%u\n", pathA.c_str(), a.width,
                 a.height, pathB.c_str(), b.width, b.height);
    return 2;
  }
  Limits limits = options.limits;
  const std::string stem = fs::path(name).stem().string();
  if (auto it = options.perFrame.find(stem); it != options.perFrame.end()) limits = it->second;
  const bool rmseOk = limits.maxRmse < 0 || d.rmsePercent <= limits.maxRmse;
  const bool outliersOk =
      limits.maxOutliers < 0 || static_cast<long long>(d.outliers) <= limits.maxOutliers;
  const bool ok = rmseOk && outliersOk;
  std::printf(
      "%-22s rmse %6.3f %%  max %3d  over %d: %7llu  outliers %6llu (max %3d)  shift %d,%d  %s\n",
      stem.c_str(), d.rmsePercent, d.maxDifference, options.tolerance,
      static_cast<unsigned long long>(d.overTolerance), static_cast<unsigned long long>(d.outliers),
      d.maxOutsideEdges, d.offsetX, d.offsetY, ok ? "ok" : "BEYOND LIMITS");
  char row[512];
  std::snprintf(row, sizeof row, "| %s | %.3f | %d | %llu | %d | %s |\n", stem.c_str(),
                d.rmsePercent, d.maxDifference, static_cast<unsigned long long>(d.outliers),
                d.maxOutsideEdges, ok ? "ok" : "beyond limits");
  *tableRows += row;

  if (!options.out.empty()) {
    std::vector<uint8_t> difference, side;
    DifferencePicture(va, vb, options.tolerance, &difference, background);
    uint32_t w = 0, h = 0;
    SideBySide(va, vb, ImageView{difference.data(), a.width, a.height}, &side, &w, &h);
    const std::string base = options.out + "/" + stem;
    if (!WritePng((base + "-diff.png").c_str(), difference.data(), a.width, a.height) ||
        !WritePng((base + "-side.png").c_str(), side.data(), w, h)) {
      std::fprintf(stderr, "yulo-compare: can't write into %s\n", options.out.c_str());
      return 2;
    }
  }
  return ok ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: yulo-compare [--out DIR] [--table FILE] [--tolerance N] [--max-rmse P]\n"
               "                    [--max-outliers N] [--limits FILE] [--background RRGGBB]\n"
               "                    (A.png B.png | --dirs A B)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<std::string> positional;
  bool dirs = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--dirs") {
      dirs = true;
    } else if (arg == "--out" && hasValue) {
      options.out = argv[++i];
    } else if (arg == "--table" && hasValue) {
      options.table = argv[++i];
    } else if (arg == "--tolerance" && hasValue) {
      options.tolerance = std::atoi(argv[++i]);
    } else if (arg == "--max-rmse" && hasValue) {
      options.limits.maxRmse = std::atof(argv[++i]);
    } else if (arg == "--max-outliers" && hasValue) {
      options.limits.maxOutliers = std::atoll(argv[++i]);
    } else if (arg == "--background" && hasValue) {
      const unsigned long rgb = std::strtoul(argv[++i], nullptr, 16);
      options.hasBackground = true;
      options.background[0] = static_cast<uint8_t>(rgb >> 16);
      options.background[1] = static_cast<uint8_t>(rgb >> 8);
      options.background[2] = static_cast<uint8_t>(rgb);
    } else if (arg == "--limits" && hasValue) {
      if (!ReadLimits(argv[++i], &options.perFrame)) {
        std::fprintf(stderr, "yulo-compare: can't read the limits in %s\n", argv[i]);
        return 2;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage();
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return Usage();
  if (!options.out.empty()) {
    std::error_code error;
    fs::create_directories(options.out, error);
  }

  std::vector<std::string> names;
  if (dirs) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(positional[0], error)) {
      if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) {
      std::fprintf(stderr, "yulo-compare: no pictures in %s\n", positional[0].c_str());
      return 2;
    }
  }
  std::string rows;
  int worst = 0;
  if (dirs) {
    for (const std::string& name : names) {
      worst = std::max(worst, ComparePair(name, positional[0] + "/" + name,
                                          positional[1] + "/" + name, options, &rows));
    }
  } else {
    worst = ComparePair(positional[0], positional[0], positional[1], options, &rows);
  }
  if (!options.table.empty()) {
    std::ofstream table(options.table);
    table << "| Frame | RMSE % | Max difference | Pixels beyond " << options.tolerance
          << " no edge explains | Their max | Verdict |\n|---|---|---|---|---|---|\n"
          << rows;
  }
  return worst;
}
