#include "shell/record/video_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "shell/record/sound_track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace yulo {

namespace {

constexpr int kDefaultSoundFrameSize = 1024;  // for encoders that take any frame size

bool IsSupportedSampleFormat(AVSampleFormat format) {
  return format == AV_SAMPLE_FMT_FLT || format == AV_SAMPLE_FMT_FLTP ||
         format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P;
}

int16_t ToS16(float v) {
  const float scaled = v * 32767.0f;
  if (scaled >= 32767.0f) return 32767;
  if (scaled <= -32768.0f) return -32768;
  return static_cast<int16_t>(scaled + (scaled >= 0.0f ? 0.5f : -0.5f));
}

// An FFmpeg error code as text.
const char* ErrorText(int code, char* buffer, size_t capacity) {
  av_strerror(code, buffer, capacity);
  return buffer;
}

// A palette-from-all-frames filter (palettegen) or the dithering with it (paletteuse).
struct FilterGraph {
  AVFilterGraph* graph = nullptr;
  AVFilterContext* source = nullptr;   // the frames
  AVFilterContext* palette = nullptr;  // paletteuse only: the palette image
  AVFilterContext* sink = nullptr;

  ~FilterGraph() { avfilter_graph_free(&graph); }
};

bool MakeBufferSource(AVFilterGraph* graph, const char* name, int width, int height,
                      AVPixelFormat format, uint32_t fps, AVFilterContext** out) {
  char args[160];
  std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%u:pixel_aspect=1/1",
                width, height, static_cast<int>(format), fps);
  return avfilter_graph_create_filter(out, avfilter_get_by_name("buffer"), name, args, nullptr,
                                      graph) >= 0;
}

}  // namespace

struct VideoWriter::State {
  VideoSettings settings{};
  char error[512] = "";

  AVFormatContext* output = nullptr;
  bool headerWritten = false;
  AVCodecContext* video = nullptr;
  AVStream* videoStream = nullptr;
  AVFrame* picture = nullptr;  // what the picture encoder (or the GIF graph) takes
  SwsContext* converter = nullptr;
  int64_t nextPicture = 0;

  AVCodecContext* sound = nullptr;
  AVStream* soundStream = nullptr;
  AVFrame* soundFrame = nullptr;
  int soundFrameSize = 0;
  int soundFill = 0;  // sample frames already in soundFrame
  int64_t nextSound = 0;

  AVPacket* packet = nullptr;

  // GIF: the frames wait in an unnamed file while palettegen sees them all.
  FilterGraph paletteGen;
  int spool = -1;
  std::vector<uint8_t> spoolRow;  // one frame, RGB24 rows without padding
  AVFrame* filtered = nullptr;

  ~State() {
    if (spool >= 0) close(spool);
    av_frame_free(&filtered);
    av_packet_free(&packet);
    av_frame_free(&soundFrame);
    avcodec_free_context(&sound);
    sws_freeContext(converter);
    av_frame_free(&picture);
    avcodec_free_context(&video);
    if (output != nullptr) {
      if (output->pb != nullptr && !(output->oformat->flags & AVFMT_NOFILE)) {
        avio_closep(&output->pb);
      }
      avformat_free_context(output);
    }
  }

  __attribute__((format(printf, 2, 3))) bool Fail(const char* format, ...) {
    if (error[0] != '\0') return false;  // the first cause is the one worth telling
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, sizeof error, format, args);
    va_end(args);
    return false;
  }

  bool FailCode(const char* what, int code) {
    char text[128];
    return Fail("%s: %s", what, ErrorText(code, text, sizeof text));
  }

  // Sends frame (nullptr: the end) to encoder and writes every packet it gives back.
  bool Encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame) {
    int result = avcodec_send_frame(encoder, frame);
    if (result < 0) return FailCode("encoding failed", result);
    for (;;) {
      result = avcodec_receive_packet(encoder, packet);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
      if (result < 0) return FailCode("encoding failed", result);
      av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
      packet->stream_index = stream->index;
      result = av_interleaved_write_frame(output, packet);
      if (result < 0) return FailCode("can't write the video", result);
    }
  }

  bool OpenVideo(const char* path);
  bool OpenSound();
  bool OpenPaletteGen(const char* spoolFolder);
  bool WriteGifFrame(const uint8_t* rgba);
  bool FinishGif();
  bool SendSoundFrame();
};

// >>section opening

bool CheckVideoEncoders(const VideoFormat& format, bool withSound, char* error,
                        size_t errorCapacity) {
  const char* missing = nullptr;
  if (av_guess_format(format.muxer, nullptr, nullptr) == nullptr) {
    missing = format.muxer;
  } else if (avcodec_find_encoder_by_name(format.videoEncoder) == nullptr) {
    missing = format.videoEncoder;
  } else if (withSound && format.audioEncoder != nullptr &&
             avcodec_find_encoder_by_name(format.audioEncoder) == nullptr) {
    missing = format.audioEncoder;
  } else if (format.kind == VideoKind::Gif && (avfilter_get_by_name("palettegen") == nullptr ||
                                               avfilter_get_by_name("paletteuse") == nullptr)) {
    missing = "palettegen/paletteuse";
  }
  if (missing == nullptr) return true;
  std::snprintf(error, errorCapacity, "the installed FFmpeg has no '%s', which %s files need",
                missing, format.extension);
  return false;
}

VideoWriter::VideoWriter() : state_(new State) {}

VideoWriter::~VideoWriter() = default;

const char* VideoWriter::Error() const {
  return state_->error;
}

bool VideoWriter::State::OpenVideo(const char* path) {
  const VideoFormat& format = *settings.format;
  const AVCodec* codec = avcodec_find_encoder_by_name(
      format.kind == VideoKind::Raw ? "wrapped_avframe" : format.videoEncoder);
  if (codec == nullptr)
    return Fail("the installed FFmpeg has no '%s' encoder", format.videoEncoder);
  videoStream = avformat_new_stream(output, nullptr);
  video = avcodec_alloc_context3(codec);
  if (videoStream == nullptr || video == nullptr) return Fail("out of memory");
  video->width = settings.width;
  video->height = settings.height;
  video->time_base = AVRational{1, static_cast<int>(settings.fps)};
  video->framerate = AVRational{static_cast<int>(settings.fps), 1};
  video->sample_aspect_ratio = AVRational{1, 1};
  video->pix_fmt = format.kind == VideoKind::Gif ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_YUV420P;
  if (format.kind != VideoKind::Gif) {
    // What the converter below produces: BT.601 coefficients in the limited range, from
    // sRGB pictures. Tagged, so that players do not guess.
    video->color_range = AVCOL_RANGE_MPEG;
    video->colorspace = AVCOL_SPC_SMPTE170M;
    video->color_primaries = AVCOL_PRI_BT709;
    video->color_trc = AVCOL_TRC_IEC61966_2_1;
  }
  if (output->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  AVDictionary* options = nullptr;
  if (std::strcmp(format.videoEncoder, "libx264") == 0) {
    av_dict_set_int(&options, "crf", X264Crf(settings.quality), 0);
    av_dict_set(&options, "preset", "medium", 0);
  } else if (std::strcmp(format.videoEncoder, "libvpx-vp9") == 0) {
    video->bit_rate = 0;  // constant quality
    av_dict_set_int(&options, "crf", Vp9Crf(settings.quality), 0);
    av_dict_set(&options, "deadline", "good", 0);
    av_dict_set(&options, "cpu-used", "4", 0);
    av_dict_set(&options, "row-mt", "1", 0);
  }
  const int opened = avcodec_open2(video, codec, &options);
  av_dict_free(&options);
  if (opened < 0) return FailCode("can't start the picture encoder", opened);
  const int copied = avcodec_parameters_from_context(videoStream->codecpar, video);
  if (copied < 0) return FailCode("can't start the picture encoder", copied);
  videoStream->time_base = video->time_base;
  videoStream->avg_frame_rate = video->framerate;

  // The picture the encoder (or the GIF's filters) takes, made once for the whole run.
  picture = av_frame_alloc();
  if (picture == nullptr) return Fail("out of memory");
  picture->format = format.kind == VideoKind::Gif ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_YUV420P;
  picture->width = settings.width;
  picture->height = settings.height;
  picture->sample_aspect_ratio = AVRational{1, 1};
  if (format.kind != VideoKind::Gif) {
    picture->color_range = AVCOL_RANGE_MPEG;
    picture->colorspace = AVCOL_SPC_SMPTE170M;
    picture->color_primaries = AVCOL_PRI_BT709;
    picture->color_trc = AVCOL_TRC_IEC61966_2_1;
  }
  const int got = av_frame_get_buffer(picture, 0);
  if (got < 0) return FailCode("out of memory", got);
  if (format.kind != VideoKind::Gif) {
    converter = sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGBA, settings.width,
                               settings.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND,
                               nullptr, nullptr, nullptr);
    if (converter == nullptr) return Fail("can't convert the pictures to YUV");
  }
  (void)path;
  return true;
}

bool VideoWriter::State::OpenSound() {
  const AVCodec* codec = avcodec_find_encoder_by_name(settings.format->audioEncoder);
  if (codec == nullptr) {
    return Fail("the installed FFmpeg has no '%s' encoder", settings.format->audioEncoder);
  }
  soundStream = avformat_new_stream(output, nullptr);
  sound = avcodec_alloc_context3(codec);
  if (soundStream == nullptr || sound == nullptr) return Fail("out of memory");
  AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE;
       ++f) {
    if (IsSupportedSampleFormat(*f)) {
      sampleFormat = *f;
      break;
    }
  }
  if (sampleFormat == AV_SAMPLE_FMT_NONE) {
    return Fail("the '%s' encoder takes no sample format we make", codec->name);
  }
  sound->sample_fmt = sampleFormat;
  sound->sample_rate = kSoundRate;
  const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  int result = av_channel_layout_copy(&sound->ch_layout, &stereo);
  if (result < 0) return FailCode("out of memory", result);
  sound->bit_rate = AudioBitRate(settings.format->audioEncoder);
  sound->time_base = AVRational{1, static_cast<int>(kSoundRate)};
  if (output->oformat->flags & AVFMT_GLOBALHEADER) sound->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  result = avcodec_open2(sound, codec, nullptr);
  if (result < 0) return FailCode("can't start the sound encoder", result);
  result = avcodec_parameters_from_context(soundStream->codecpar, sound);
  if (result < 0) return FailCode("can't start the sound encoder", result);
  soundStream->time_base = sound->time_base;

  soundFrameSize = sound->frame_size > 0 ? sound->frame_size : kDefaultSoundFrameSize;
  soundFrame = av_frame_alloc();
  if (soundFrame == nullptr) return Fail("out of memory");
  soundFrame->format = sampleFormat;
  soundFrame->sample_rate = kSoundRate;
  soundFrame->nb_samples = soundFrameSize;
  result = av_channel_layout_copy(&soundFrame->ch_layout, &stereo);
  if (result >= 0) result = av_frame_get_buffer(soundFrame, 0);
  if (result < 0) return FailCode("out of memory", result);
  return true;
}

bool VideoWriter::State::OpenPaletteGen(const char* spoolFolder) {
  spool = open(spoolFolder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (spool < 0) {
    return Fail("can't keep the GIF's frames in %s: %s", spoolFolder, std::strerror(errno));
  }
  spoolRow.resize(static_cast<size_t>(settings.width) * settings.height * 3);
  filtered = av_frame_alloc();
  paletteGen.graph = avfilter_graph_alloc();
  if (filtered == nullptr || paletteGen.graph == nullptr) return Fail("out of memory");
  char args[96];
  // One palette for the whole clip: a palette per frame would flicker.
  std::snprintf(args, sizeof args, "max_colors=%d:stats_mode=full", GifColours(settings.quality));
  AVFilterContext* generate = nullptr;
  if (!MakeBufferSource(paletteGen.graph, "frames", settings.width, settings.height,
                        AV_PIX_FMT_RGB24, settings.fps, &paletteGen.source) ||
      avfilter_graph_create_filter(&generate, avfilter_get_by_name("palettegen"), "palettegen",
                                   args, nullptr, paletteGen.graph) < 0 ||
      avfilter_graph_create_filter(&paletteGen.sink, avfilter_get_by_name("buffersink"), "out",
                                   nullptr, nullptr, paletteGen.graph) < 0 ||
      avfilter_link(paletteGen.source, 0, generate, 0) < 0 ||
      avfilter_link(generate, 0, paletteGen.sink, 0) < 0 ||
      avfilter_graph_config(paletteGen.graph, nullptr) < 0) {
    return Fail("can't set up the GIF palette filter");
  }
  return true;
}

bool VideoWriter::Open(const char* path, const VideoSettings& settings, const char* spoolFolder) {
  State& s = *state_;
  s.settings = settings;
  if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 != 0 ||
      settings.height % 2 != 0 || settings.fps == 0) {
    return s.Fail("a video needs even sides and at least one frame a second");
  }
  const VideoFormat& format = *settings.format;
  int result = avformat_alloc_output_context2(&s.output, nullptr, format.muxer, path);
  if (result < 0 || s.output == nullptr)
    return s.Fail("the installed FFmpeg has no '%s'", format.muxer);
  // No random stream or segment numbers: the same command gives the same bytes in every
  // container, not only in those that number nothing.
  s.output->flags |= AVFMT_FLAG_BITEXACT;
  s.packet = av_packet_alloc();
  if (s.packet == nullptr) return s.Fail("out of memory");
  if (!s.OpenVideo(path)) return false;
  if (settings.withSound && format.audioEncoder != nullptr && !s.OpenSound()) return false;
  if (format.kind == VideoKind::Gif && !s.OpenPaletteGen(spoolFolder)) return false;

  if (!(s.output->oformat->flags & AVFMT_NOFILE)) {
    result = avio_open(&s.output->pb, path, AVIO_FLAG_WRITE);
    if (result < 0) return s.FailCode("can't write the video", result);
  }
  AVDictionary* options = nullptr;
  // The index first, so that players can start before the whole file has arrived.
  if (std::strcmp(format.muxer, "mp4") == 0) av_dict_set(&options, "movflags", "+faststart", 0);
  result = avformat_write_header(s.output, &options);
  av_dict_free(&options);
  if (result < 0) return s.FailCode("can't write the video", result);
  s.headerWritten = true;
  return true;
}

// >>section writing

bool VideoWriter::State::WriteGifFrame(const uint8_t* rgba) {
  const size_t width = static_cast<size_t>(settings.width);
  const size_t height = static_cast<size_t>(settings.height);
  int result = av_frame_make_writable(picture);
  if (result < 0) return FailCode("out of memory", result);
  uint8_t* packed = spoolRow.data();
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* in = rgba + y * width * 4;
    uint8_t* row = picture->data[0] + y * static_cast<size_t>(picture->linesize[0]);
    for (size_t x = 0; x < width; ++x) {
      row[x * 3] = in[x * 4];
      row[x * 3 + 1] = in[x * 4 + 1];
      row[x * 3 + 2] = in[x * 4 + 2];
    }
    std::memcpy(packed + y * width * 3, row, width * 3);
  }
  size_t done = 0;
  while (done < spoolRow.size()) {
    const ssize_t wrote = write(spool, packed + done, spoolRow.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return Fail("can't keep the GIF's frames: %s", std::strerror(errno));
    done += static_cast<size_t>(wrote);
  }
  picture->pts = nextPicture++;
  result = av_buffersrc_add_frame_flags(paletteGen.source, picture,
                                        AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH);
  if (result < 0) return FailCode("the GIF palette filter failed", result);
  return true;
}

bool VideoWriter::WriteFrame(const uint8_t* rgba) {
  State& s = *state_;
  if (!s.headerWritten || s.error[0] != '\0') return false;
  if (s.settings.format->kind == VideoKind::Gif) return s.WriteGifFrame(rgba);
  const int result = av_frame_make_writable(s.picture);
  if (result < 0) return s.FailCode("out of memory", result);
  const uint8_t* source[1] = {rgba};
  const int stride[1] = {s.settings.width * 4};
  sws_scale(s.converter, source, stride, 0, s.settings.height, s.picture->data,
            s.picture->linesize);
  s.picture->pts = s.nextPicture++;
  return s.Encode(s.video, s.videoStream, s.picture);
}

bool VideoWriter::State::SendSoundFrame() {
  soundFrame->nb_samples = soundFill;
  soundFrame->pts = nextSound;
  nextSound += soundFill;
  soundFill = 0;
  return Encode(sound, soundStream, soundFrame);
}

bool VideoWriter::WriteSound(const float* samples, uint32_t frames) {
  State& s = *state_;
  if (!s.headerWritten || s.error[0] != '\0') return false;
  if (s.sound == nullptr) return true;  // a format without sound
  uint32_t done = 0;
  while (done < frames) {
    if (s.soundFill == 0) {
      const int result = av_frame_make_writable(s.soundFrame);
      if (result < 0) return s.FailCode("out of memory", result);
    }
    const uint32_t room = static_cast<uint32_t>(s.soundFrameSize - s.soundFill);
    const uint32_t take = frames - done < room ? frames - done : room;
    const float* in = samples + static_cast<size_t>(done) * 2;
    const size_t at = static_cast<size_t>(s.soundFill);
    AVFrame* f = s.soundFrame;
    switch (static_cast<AVSampleFormat>(f->format)) {
      case AV_SAMPLE_FMT_FLT:
        std::memcpy(reinterpret_cast<float*>(f->data[0]) + at * 2, in, take * 2 * sizeof(float));
        break;
      case AV_SAMPLE_FMT_FLTP:
        for (uint32_t i = 0; i < take; ++i) {
          reinterpret_cast<float*>(f->data[0])[at + i] = in[i * 2];
          reinterpret_cast<float*>(f->data[1])[at + i] = in[i * 2 + 1];
        }
        break;
      case AV_SAMPLE_FMT_S16:
        for (uint32_t i = 0; i < take * 2; ++i) {
          reinterpret_cast<int16_t*>(f->data[0])[at * 2 + i] = ToS16(in[i]);
        }
        break;
      default:  // AV_SAMPLE_FMT_S16P, the only other one OpenSound accepts
        for (uint32_t i = 0; i < take; ++i) {
          reinterpret_cast<int16_t*>(f->data[0])[at + i] = ToS16(in[i * 2]);
          reinterpret_cast<int16_t*>(f->data[1])[at + i] = ToS16(in[i * 2 + 1]);
        }
        break;
    }
    s.soundFill += static_cast<int>(take);
    done += take;
    if (s.soundFill == s.soundFrameSize && !s.SendSoundFrame()) return false;
  }
  return true;
}

// >>section finishing

bool VideoWriter::State::FinishGif() {
  int result = av_buffersrc_add_frame_flags(paletteGen.source, nullptr, 0);
  AVFrame* palette = av_frame_alloc();
  if (palette == nullptr) return Fail("out of memory");
  if (result >= 0) result = av_buffersink_get_frame(paletteGen.sink, palette);
  if (result < 0) {
    av_frame_free(&palette);
    return FailCode("the GIF palette filter failed", result);
  }

  FilterGraph use;
  use.graph = avfilter_graph_alloc();
  AVFilterContext* dither = nullptr;
  bool ready =
      use.graph != nullptr &&
      MakeBufferSource(use.graph, "frames", settings.width, settings.height, AV_PIX_FMT_RGB24,
                       settings.fps, &use.source) &&
      MakeBufferSource(use.graph, "palette", palette->width, palette->height,
                       static_cast<AVPixelFormat>(palette->format), settings.fps, &use.palette) &&
      avfilter_graph_create_filter(&dither, avfilter_get_by_name("paletteuse"), "paletteuse",
                                   "dither=sierra2_4a", nullptr, use.graph) >= 0 &&
      avfilter_graph_create_filter(&use.sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                   nullptr, use.graph) >= 0 &&
      avfilter_link(use.source, 0, dither, 0) >= 0 &&
      avfilter_link(use.palette, 0, dither, 1) >= 0 && avfilter_link(dither, 0, use.sink, 0) >= 0 &&
      avfilter_graph_config(use.graph, nullptr) >= 0;
  if (ready) {
    palette->pts = 0;
    ready = av_buffersrc_add_frame_flags(use.palette, palette, 0) >= 0 &&
            av_buffersrc_add_frame_flags(use.palette, nullptr, 0) >= 0;
  }
  av_frame_free(&palette);
  if (!ready) return Fail("can't set up the GIF dithering filter");

  // The frames again, from the spool, through the one palette into the encoder.
  const size_t width = static_cast<size_t>(settings.width);
  const size_t height = static_cast<size_t>(settings.height);
  if (lseek(spool, 0, SEEK_SET) != 0) return Fail("can't read the GIF's frames back");
  const int64_t frames = nextPicture;
  for (int64_t n = 0; n <= frames; ++n) {
    if (n < frames) {
      size_t done = 0;
      while (done < spoolRow.size()) {
        const ssize_t got = read(spool, spoolRow.data() + done, spoolRow.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Fail("can't read the GIF's frames back");
        done += static_cast<size_t>(got);
      }
      result = av_frame_make_writable(picture);
      if (result < 0) return FailCode("out of memory", result);
      for (size_t y = 0; y < height; ++y) {
        std::memcpy(picture->data[0] + y * static_cast<size_t>(picture->linesize[0]),
                    spoolRow.data() + y * width * 3, width * 3);
      }
      picture->pts = n;
      result = av_buffersrc_add_frame_flags(use.source, picture,
                                            AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH);
    } else {
      result = av_buffersrc_add_frame_flags(use.source, nullptr, 0);
    }
    if (result < 0) return FailCode("the GIF dithering filter failed", result);
    for (;;) {
      result = av_buffersink_get_frame(use.sink, filtered);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) break;
      if (result < 0) return FailCode("the GIF dithering filter failed", result);
      filtered->pict_type = AV_PICTURE_TYPE_NONE;
      const bool sent = Encode(video, videoStream, filtered);
      av_frame_unref(filtered);
      if (!sent) return false;
    }
  }
  return true;
}

bool VideoWriter::Finish() {
  State& s = *state_;
  if (!s.headerWritten || s.error[0] != '\0') return false;
  if (s.settings.format->kind == VideoKind::Gif && !s.FinishGif()) return false;
  if (!s.Encode(s.video, s.videoStream, nullptr)) return false;
  if (s.sound != nullptr) {
    if (s.soundFill > 0) {
      // Encoders without a short last frame get silence to fill it.
      if (!(s.sound->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
        av_samples_set_silence(s.soundFrame->data, s.soundFill, s.soundFrameSize - s.soundFill,
                               s.sound->ch_layout.nb_channels,
                               static_cast<AVSampleFormat>(s.soundFrame->format));
        s.soundFill = s.soundFrameSize;
      }
      if (!s.SendSoundFrame()) return false;
    }
    if (!s.Encode(s.sound, s.soundStream, nullptr)) return false;
  }
  int result = av_write_trailer(s.output);
  if (result < 0) return s.FailCode("can't write the video", result);
  if (s.output->pb != nullptr && !(s.output->oformat->flags & AVFMT_NOFILE)) {
    avio_flush(s.output->pb);
    const int pending = s.output->pb->error;
    result = avio_closep(&s.output->pb);
    if (pending < 0) return s.FailCode("can't write the video", pending);
    if (result < 0) return s.FailCode("can't write the video", result);
  }
  s.headerWritten = false;
  return true;
}

}  // namespace yulo
