// yulo-assetgen OUTPUT_FOLDER: writes the whole data set into OUTPUT_FOLDER.
#include <cstdio>
#include <string>

#include "assetgen/assetgen.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  yulo::assetgen::OutputFolder out(argv[1]);
  std::string log;
  const bool ok = yulo::assetgen::GenerateAssets(out, &log);
  std::fputs(log.c_str(), stdout);
  if (!ok) {
    std::fprintf(stderr, "yulo-assetgen: %s\n",
                 out.error().empty() ? "an encoder failed" : out.error().c_str());
    return 1;
  }
  return 0;
}
