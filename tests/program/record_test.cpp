// The program's --record as users run it, with the files checked by FFmpeg's own tools.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "program_env.h"
#include "support/temp_dir.h"

namespace yulo::test {
namespace {

int Yulo(const std::string& configHome, const std::vector<std::string>& extra,
         std::string* output) {
  std::vector<std::string> argv = {ProgramPath()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return RunCommand(argv, ProgramEnvironment(configHome, ""), 300000, output);
}

// Runs a shell command line (for redirections) in the program's environment.
int Shell(const std::string& configHome, const std::string& line, std::string* output) {
  return RunCommand({"/bin/sh", "-c", line}, ProgramEnvironment(configHome, ""), 300000, output);
}

// One "key=value|key=value" line of ffprobe's compact output per stream, as maps.
std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path,
                                                             std::string* formatDuration) {
  std::string out;
  EXPECT_EQ(RunCommand({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                        "stream=codec_type,codec_name,width,height,nb_read_frames:format=duration",
                        "-of", "compact=p=0", path},
                       {}, 60000, &out),
            0)
      << out;
  std::vector<std::map<std::string, std::string>> streams;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::map<std::string, std::string> fields;
    const std::string line = out.substr(start, end - start);
    size_t at = 0;
    while (at < line.size()) {
      size_t bar = line.find('|', at);
      if (bar == std::string::npos) bar = line.size();
      const std::string field = line.substr(at, bar - at);
      const size_t eq = field.find('=');
      if (eq != std::string::npos) fields[field.substr(0, eq)] = field.substr(eq + 1);
      at = bar + 1;
    }
    if (fields.count("codec_type") != 0) {
      streams.push_back(fields);
    } else if (fields.count("duration") != 0) {
      *formatDuration = fields["duration"];
    }
    start = end + 1;
  }
  return streams;
}

// Sample frames of the file's sound, decoded to 48 kHz stereo.
long DecodedSoundFrames(const std::string& path, const std::string& raw) {
  std::string out;
  EXPECT_EQ(RunCommand({"ffmpeg", "-v", "error", "-y", "-i", path, "-map", "0:a", "-f", "s16le",
                        "-ac", "2", "-ar", "48000", raw},
                       {}, 60000, &out),
            0)
      << out;
  struct stat info {};
  return stat(raw.c_str(), &info) == 0 ? static_cast<long>(info.st_size / 4) : -1;
}

// The luma planes of a y4m stream's frames.
std::vector<std::string> Y4mLuma(const std::string& bytes, int width, int height) {
  std::vector<std::string> frames;
  const size_t lumaSize = static_cast<size_t>(width) * height;
  const size_t frameSize = lumaSize * 3 / 2;
  size_t at = bytes.find('\n');
  while (at != std::string::npos && bytes.compare(at + 1, 6, "FRAME\n") == 0) {
    const size_t data = at + 7;
    if (data + frameSize > bytes.size()) break;
    frames.push_back(bytes.substr(data, lumaSize));
    at = data + frameSize - 1;
  }
  return frames;
}

double MeanDifference(const std::string& a, const std::string& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    sum += std::abs(static_cast<int>(static_cast<uint8_t>(a[i])) -
                    static_cast<int>(static_cast<uint8_t>(b[i])));
  }
  return a.empty() ? 0.0 : sum / static_cast<double>(a.size());
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

struct ContainerCase {
  const char* extension;
  const char* videoCodec;
  const char* soundCodec;  // "": no sound stream
  const char* volume;
};

TEST(Record, EachContainerHoldsTheShowAndItsSound) {
  if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe (Debian's ffmpeg) is not installed";
  ScopedTempDir temp;
  const bool haveMusic = PrepareDataSet(temp.Path());
  const ContainerCase cases[] = {
      {"mp4", "h264", "aac", "20"}, {"webm", "vp9", "opus", "10"}, {"mkv", "h264", "", "0"},
      {"gif", "gif", "", "20"},     {"y4m", "rawvideo", "", "20"},
  };
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.extension);
    const std::string file = temp.Path() + "/show." + c.extension;
    std::string output;
    ASSERT_EQ(Yulo(temp.Path(),
                   {"--record", file, "--size", "160x120", "--duration", "2", "--volume", c.volume},
                   &output),
              0)
        << output;
    std::string duration;
    const auto streams = ProbeStreams(file, &duration);
    EXPECT_NEAR(std::atof(duration.c_str()), 2.0, 0.02);
    const bool wantSound = c.soundCodec[0] != '\0' && haveMusic;
    ASSERT_EQ(streams.size(), wantSound ? 2u : 1u);
    for (const auto& stream : streams) {
      if (stream.at("codec_type") == "video") {
        EXPECT_EQ(stream.at("codec_name"), c.videoCodec);
        EXPECT_EQ(stream.at("width"), "160");
        EXPECT_EQ(stream.at("height"), "120");
        EXPECT_EQ(stream.at("nb_read_frames"), "60");
      } else {
        EXPECT_EQ(stream.at("codec_type"), "audio");
        EXPECT_EQ(stream.at("codec_name"), c.soundCodec);
        // Two seconds of sound; AAC decodes whole 1024-sample frames.
        const long frames = DecodedSoundFrames(file, temp.Path() + "/sound.raw");
        EXPECT_GE(frames, 96000);
        EXPECT_LE(frames, 96000 + 1024);
      }
    }
  }
}

TEST(Record, TheSameCommandTwiceGivesTheSameBytes) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  const std::string command =
      std::string(ProgramPath()) + " --record - --size 160x120 --duration 0.5 --start 3000 > ";
  for (const char* name : {"a.y4m", "b.y4m"}) {
    ASSERT_EQ(Shell(temp.Path(), command + temp.Path() + "/" + name, &output), 0) << output;
  }
  const std::string a = ReadFile(temp.Path() + "/a.y4m");
  EXPECT_EQ(a.rfind("YUV4MPEG2 W160 H120 F30:1", 0), 0u);
  EXPECT_EQ(Y4mLuma(a, 160, 120).size(), 15u);
  EXPECT_TRUE(a == ReadFile(temp.Path() + "/b.y4m"));
  // A container that numbers its streams at random unless told not to.
  for (const char* name : {"a.mkv", "b.mkv"}) {
    ASSERT_EQ(Yulo(temp.Path(),
                   {"--record", temp.Path() + "/" + name, "--size", "160x120", "--duration", "0.5"},
                   &output),
              0)
        << output;
  }
  EXPECT_TRUE(ReadFile(temp.Path() + "/a.mkv") == ReadFile(temp.Path() + "/b.mkv"));
}

TEST(Record, AnMp4FrameMatchesTheRenderedPicture) {
  if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  // At 25 fps every frame is 40 ms on: frame 12 is --render's twelfth step.
  ASSERT_EQ(Yulo(temp.Path(),
                 {"--record", temp.Path() + "/show.mp4", "--size", "160x120", "--fps", "25",
                  "--duration", "0.52", "--start", "10000", "--seed", "5", "--volume", "0"},
                 &output),
            0)
      << output;
  ASSERT_EQ(Yulo(temp.Path(),
                 {"--render", temp.Path() + "/png", "--size", "160x120", "--frames", "13",
                  "--fixed-step", "40", "--start", "10000", "--seed", "5"},
                 &output),
            0)
      << output;
  // Both pictures in the video's own YUV 4:2:0, as FFmpeg's psnr filter compares them:
  // what is measured is the encoder's loss, not the halved colour resolution that every
  // 4:2:0 video has (at 160x120 that alone stays below 35 dB in RGB).
  const std::string video = temp.Path() + "/frame.yuv";
  const std::string picture = temp.Path() + "/png.yuv";
  ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-y", "-i", temp.Path() + "/show.mp4", "-vf",
                        "select=eq(n\\,12)", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                        "yuv420p", video},
                       {}, 60000, &output),
            0)
      << output;
  ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-y", "-i", temp.Path() + "/png/frame-00012.png",
                        "-f", "rawvideo", "-pix_fmt", "yuv420p", picture},
                       {}, 60000, &output),
            0)
      << output;
  const std::string a = ReadFile(video);
  const std::string b = ReadFile(picture);
  ASSERT_EQ(a.size(), 160u * 120 * 3 / 2);
  ASSERT_EQ(b.size(), a.size());
  double squares = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
    squares += d * d;
  }
  const double mse = squares / static_cast<double>(a.size());
  const double psnr = mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
  EXPECT_GT(psnr, 35.0);
}

TEST(Record, SeamlessEndsWhereItBegins) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  // From 10 s on the camera slides sideways: two seconds apart, frames differ a lot.
  std::vector<std::string> args = {"--size",     "160x120", "--fps",   "10",
                                   "--duration", "2",       "--start", "10000"};
  double seam[2] = {0.0, 0.0};
  double largestStep = 0.0;
  for (int seamless = 0; seamless < 2; ++seamless) {
    const std::string file = temp.Path() + (seamless ? "/loop.y4m" : "/plain.y4m");
    std::vector<std::string> run = args;
    run.insert(run.begin(), {"--record", file});
    if (seamless) run.push_back("--seamless");
    ASSERT_EQ(Yulo(temp.Path(), run, &output), 0) << output;
    const auto frames = Y4mLuma(ReadFile(file), 160, 120);
    ASSERT_EQ(frames.size(), 20u);
    seam[seamless] = MeanDifference(frames.back(), frames.front());
    if (!seamless) {
      for (size_t i = 1; i < frames.size(); ++i) {
        largestStep = std::max(largestStep, MeanDifference(frames[i - 1], frames[i]));
      }
    }
  }
  EXPECT_LE(seam[1], largestStep);
  EXPECT_GT(seam[0], largestStep);  // without it the loop visibly jumps
}

TEST(Record, FailuresLeaveNothingBehind) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  temp.Write("file", "x");
  // A folder that is a file, a name of no known kind, and a data folder that fails late.
  EXPECT_EQ(Yulo(temp.Path(), {"--record", temp.Path() + "/file/show.mp4"}, &output), 1);
  EXPECT_NE(output.find("file/show.mp4"), std::string::npos) << output;
  ASSERT_EQ(mkdir((temp.Path() + "/out").c_str(), 0755), 0);
  EXPECT_EQ(Yulo(temp.Path(), {"--record", temp.Path() + "/out/show.avi"}, &output), 1);
  EXPECT_NE(output.find(".webm"), std::string::npos) << output;
  // A GIF can't keep time faster than 50 frames a second: refused before any frame.
  EXPECT_EQ(Yulo(temp.Path(), {"--record", temp.Path() + "/out/show.gif", "--fps", "60"}, &output),
            1);
  EXPECT_NE(output.find("--fps 50"), std::string::npos) << output;

  ScopedTempDir broken;
  ASSERT_EQ(mkdir((broken.Path() + "/install").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((broken.Path() + "/install/Data").c_str(), 0755), 0);
  broken.Write("install/links.txt", "link1=a\r\nlink2=b\r\n");
  std::string key = broken.Path();
  for (const char* part : {"/velmora", "/screensavers", "/yulo"}) {
    key += part;
    ASSERT_EQ(mkdir(key.c_str(), 0755), 0);
  }
  broken.Write("velmora/screensavers/yulo/InstallDir_Demo", broken.Path() + "/install");
  EXPECT_EQ(Yulo(broken.Path(), {"--record", temp.Path() + "/out/show.mp4", "--size", "160x120"},
                 &output),
            1);
  EXPECT_TRUE(FolderEntries(temp.Path() + "/out").empty()) << output;
}

// Quit signals that whoever started the recording ignores (nohup, a script's background
// job) stay ignored: the video is finished whole.
TEST(Record, SignalsItsStarterIgnoresDoNotEndIt) {
  ScopedTempDir temp;
  PrepareDataSet(temp.Path());
  std::string output;
  const std::string line =
      "env --ignore-signal=HUP --ignore-signal=INT --ignore-signal=TERM " +
      std::string(ProgramPath()) + " --record " + temp.Path() +
      "/show.y4m --size 64x48 --duration 20 & pid=$!; "
      "until ls " +
      temp.Path() +
      "/.show.y4m.* >/dev/null 2>&1 || ! kill -0 $pid; do "
      "sleep 0.05; done; kill -HUP $pid; kill -INT $pid; kill -TERM $pid; wait $pid";
  ASSERT_EQ(Shell(temp.Path(), line, &output), 0) << output;
  EXPECT_EQ(Y4mLuma(ReadFile(temp.Path() + "/show.y4m"), 64, 48).size(), 600u) << output;
}

}  // namespace
}  // namespace yulo::test
