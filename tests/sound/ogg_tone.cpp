#include "ogg_tone.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace yulo::test {

namespace {

void WritePages(ogg_stream_state* stream, std::FILE* file, bool flush) {
  ogg_page page;
  while ((flush ? ogg_stream_flush(stream, &page) : ogg_stream_pageout(stream, &page)) != 0) {
    std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
    std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
  }
}

}  // namespace

bool WriteOggTone(const std::string& path, double frequency, double amplitude, double seconds) {
  constexpr int kRate = 44100;
  constexpr int kBlock = 1024;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;

  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, 2, kRate, 0.5f) != 0) {
    std::fclose(file);
    return false;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, 1);

  ogg_packet header, commentPacket, codePacket;
  vorbis_analysis_headerout(&dsp, &comment, &header, &commentPacket, &codePacket);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &commentPacket);
  ogg_stream_packetin(&stream, &codePacket);
  WritePages(&stream, file, true);

  const long total = static_cast<long>(seconds * kRate);
  long written = 0;
  bool submittedEnd = false;
  bool ended = false;
  while (!ended && !submittedEnd) {
    if (written < total) {
      const long count = total - written < kBlock ? total - written : kBlock;
      float** buffer = vorbis_analysis_buffer(&dsp, kBlock);
      for (long i = 0; i < count; ++i) {
        const double t = static_cast<double>(written + i) / kRate;
        const float sample = static_cast<float>(amplitude * std::sin(2.0 * M_PI * frequency * t));
        buffer[0][i] = sample;
        buffer[1][i] = sample;
      }
      vorbis_analysis_wrote(&dsp, static_cast<int>(count));
      written += count;
    } else {
      vorbis_analysis_wrote(&dsp, 0);  // end of stream: the encoder flushes what it holds
      submittedEnd = true;
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
        ogg_stream_packetin(&stream, &packet);
        WritePages(&stream, file, false);
        if (packet.e_o_s != 0) ended = true;
      }
    }
  }
  WritePages(&stream, file, true);

  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return std::fclose(file) == 0;
}

}  // namespace yulo::test
