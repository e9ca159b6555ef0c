#include "shell/record/sound_track.h"

#include <cstdio>

#include "base/read_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace yulo {

namespace {

// Everything DecodeMusic opens, closed on every way out.
struct Decoding {
  AVFormatContext* input = nullptr;
  AVCodecContext* decoder = nullptr;
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;

  ~Decoding() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    swr_free(&resampler);
    avcodec_free_context(&decoder);
    avformat_close_input(&input);
  }
};

// Appends what the resampler gives for frame (nullptr: what it still holds), up to
// maxFrames in all. False when full.
bool AppendResampled(SwrContext* resampler, const AVFrame* frame, uint64_t maxFrames,
                     std::vector<float>* samples) {
  const uint64_t have = samples->size() / kSoundChannels;
  if (have >= maxFrames) return false;
  const int inFrames = frame != nullptr ? frame->nb_samples : 0;
  const int room = swr_get_out_samples(resampler, inFrames);
  if (room <= 0) return true;
  samples->resize((have + static_cast<uint64_t>(room)) * kSoundChannels);
  uint8_t* out = reinterpret_cast<uint8_t*>(samples->data() + have * kSoundChannels);
  const uint8_t** in =
      frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr;
  const int made = swr_convert(resampler, &out, room, in, inFrames);
  uint64_t total = have + static_cast<uint64_t>(made > 0 ? made : 0);
  if (total > maxFrames) total = maxFrames;
  samples->resize(total * kSoundChannels);
  return total < maxFrames;
}

}  // namespace

uint64_t SoundFrameOfVideoFrame(uint64_t n, uint32_t fps) {
  return n * kSoundRate / fps;
}

uint64_t MusicFramesNeeded(const SoundPlan& plan) {
  return plan.startFrame + plan.outputFrames + plan.crossFadeFrames;
}

bool DecodeMusic(const char* path, uint64_t maxFrames, std::vector<float>* samples, char* error,
                 size_t errorCapacity) {
  samples->clear();
  // The same limits as the screensaver's own player: a regular file of a sane size, so
  // that a named pipe or a device never stalls the export.
  const ReadFileResult checked = CheckRegularFile(path, kMusicFileSizeLimit, nullptr);
  if (checked != ReadFileResult::Ok) {
    char reason[128];
    DescribeReadFailure(checked, kMusicFileSizeLimit, reason, sizeof reason);
    std::snprintf(error, errorCapacity, "can't open %s%s%s", path, reason[0] != '\0' ? ": " : "",
                  reason);
    return false;
  }
  Decoding d;
  if (avformat_open_input(&d.input, path, nullptr, nullptr) < 0) {
    std::snprintf(error, errorCapacity, "can't open %s", path);
    return false;
  }
  if (avformat_find_stream_info(d.input, nullptr) < 0) {
    std::snprintf(error, errorCapacity, "can't read %s", path);
    return false;
  }
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(d.input, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || codec == nullptr) {
    std::snprintf(error, errorCapacity, "%s holds no sound this FFmpeg can decode", path);
    return false;
  }
  d.decoder = avcodec_alloc_context3(codec);
  if (d.decoder == nullptr ||
      avcodec_parameters_to_context(d.decoder, d.input->streams[stream]->codecpar) < 0 ||
      avcodec_open2(d.decoder, codec, nullptr) < 0) {
    std::snprintf(error, errorCapacity, "can't decode the sound of %s", path);
    return false;
  }
  AVChannelLayout inLayout{};  // copying into it first releases what it holds: none
  if (d.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
      av_channel_layout_check(&d.decoder->ch_layout) == 0) {
    av_channel_layout_default(
        &inLayout, d.decoder->ch_layout.nb_channels > 0 ? d.decoder->ch_layout.nb_channels : 2);
  } else if (av_channel_layout_copy(&inLayout, &d.decoder->ch_layout) < 0) {
    std::snprintf(error, errorCapacity, "out of memory decoding %s", path);
    return false;
  }
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  const int made =
      swr_alloc_set_opts2(&d.resampler, &stereo, AV_SAMPLE_FMT_FLT, kSoundRate, &inLayout,
                          d.decoder->sample_fmt, d.decoder->sample_rate, 0, nullptr);
  // Mono music plays at full level on both sides, as the screensaver plays it; the
  // resampler's own matrix would lower it by 3 dB.
  static const double kMonoToStereo[2] = {1.0, 1.0};
  const bool mono = inLayout.nb_channels == 1;
  av_channel_layout_uninit(&inLayout);
  if (made >= 0 && mono && swr_set_matrix(d.resampler, kMonoToStereo, 1) < 0) {
    std::snprintf(error, errorCapacity, "can't convert the sound of %s", path);
    return false;
  }
  if (made < 0 || d.decoder->sample_rate <= 0 || swr_init(d.resampler) < 0) {
    std::snprintf(error, errorCapacity, "can't convert the sound of %s", path);
    return false;
  }
  d.packet = av_packet_alloc();
  d.frame = av_frame_alloc();
  if (d.packet == nullptr || d.frame == nullptr) {
    std::snprintf(error, errorCapacity, "out of memory decoding %s", path);
    return false;
  }

  bool room = maxFrames > 0;
  bool draining = false;
  while (room) {
    if (!draining) {
      const int read = av_read_frame(d.input, d.packet);
      if (read < 0) {
        draining = true;
        avcodec_send_packet(d.decoder, nullptr);
      } else {
        if (d.packet->stream_index == stream) {
          // A damaged packet costs its own sound only, as in any player.
          avcodec_send_packet(d.decoder, d.packet);
        }
        av_packet_unref(d.packet);
      }
    }
    while (room && avcodec_receive_frame(d.decoder, d.frame) >= 0) {
      room = AppendResampled(d.resampler, d.frame, maxFrames, samples);
      av_frame_unref(d.frame);
    }
    if (draining) break;  // the flushed decoder has given all it had
  }
  if (room) AppendResampled(d.resampler, nullptr, maxFrames, samples);
  if (samples->empty() && maxFrames > 0) {
    std::snprintf(error, errorCapacity, "%s holds no sound", path);
    return false;
  }
  return true;
}

void MixSoundTrack(const float* music, uint64_t musicFrames, const SoundPlan& plan, uint64_t from,
                   uint64_t count, float* out) {
  const uint64_t length = plan.outputFrames;
  const uint64_t cross = plan.crossFadeFrames < length ? plan.crossFadeFrames : length;
  const uint64_t fade = plan.fadeOutFrames < length ? plan.fadeOutFrames : length;
  for (uint64_t k = 0; k < count; ++k) {
    const uint64_t t = from + k;
    float left = 0.0f;
    float right = 0.0f;
    if (musicFrames > 0 && t < length) {
      // With a cross-fade the track starts that far into the rendered span; what was
      // rendered beyond its end is blended into the part that follows the start.
      const uint64_t at = (plan.startFrame + t + cross) % musicFrames;
      left = music[at * 2];
      right = music[at * 2 + 1];
      if (cross > 0 && t >= length - cross) {
        const uint64_t i = t - (length - cross);
        const uint64_t from0 = (plan.startFrame + i) % musicFrames;
        const float w = (static_cast<float>(i) + 0.5f) / static_cast<float>(cross);
        left += (music[from0 * 2] - left) * w;
        right += (music[from0 * 2 + 1] - right) * w;
      }
      float gain = plan.gain;
      if (fade > 0 && t >= length - fade) {
        gain *= static_cast<float>(length - t) / static_cast<float>(fade);
      }
      left *= gain;
      right *= gain;
    }
    out[k * 2] = left;
    out[k * 2 + 1] = right;
  }
}

}  // namespace yulo
