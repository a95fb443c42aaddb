// The stream-type table: which scanner reads which stream type, and which
// PID of the program it measures. The PMT walk and the passes consult it.
#include "ts/es_scanners.h"

#include <array>
#include <vector>

#include "ts/audio_scan.h"
#include "ts/nal_scan.h"
#include "ts/video_scan.h"

namespace mendra {
namespace {

constexpr std::array kEsScanners = {
    EsScanner{0x02, EsRole::Video,  // MPEG-2 video
              &run_es_pass<VideoScanState, scan_video_payload, EsRole::Video>},
    EsScanner{0x0F, EsRole::Audio,  // ADTS-AAC audio
              &run_es_pass<AudioScanState, scan_audio_format<kAdtsSync>, EsRole::Audio,
                           scan_audio_format_plain<kAdtsSync>>},
    EsScanner{
        0x1B, EsRole::Video,  // H.264 video
        &run_es_pass<NalScanState, scan_h264_payload, EsRole::Video, scan_h264_plain_payload>},
    EsScanner{
        0x24, EsRole::Video,  // HEVC video
        &run_es_pass<NalScanState, scan_hevc_payload, EsRole::Video, scan_hevc_plain_payload>},
    EsScanner{0x03, EsRole::Audio,  // MPEG-1 audio
              &run_es_pass<AudioScanState, scan_audio_format<kMpegAudioSync>, EsRole::Audio,
                           scan_audio_format_plain<kMpegAudioSync>>},
    EsScanner{0x04, EsRole::Audio,  // MPEG-2 audio
              &run_es_pass<AudioScanState, scan_audio_format<kMpegAudioSync>, EsRole::Audio,
                           scan_audio_format_plain<kMpegAudioSync>>},
    EsScanner{0x11, EsRole::Audio,  // LATM-AAC audio
              &run_es_pass<AudioScanState, scan_audio_format<kLatmSync>, EsRole::Audio,
                           scan_audio_format_plain<kLatmSync>>},
    EsScanner{0x81, EsRole::Audio,  // AC-3 audio
              &run_es_pass<AudioScanState, scan_audio_format<kAc3Sync>, EsRole::Audio,
                           scan_audio_format_plain<kAc3Sync>>},
    EsScanner{0x87, EsRole::Audio,  // E-AC-3 audio
              &run_es_pass<AudioScanState, scan_audio_format<kEac3Sync>, EsRole::Audio,
                           scan_audio_format_plain<kEac3Sync>>},
    EsScanner{0x06, EsRole::Audio,  // private data: AC-3 descriptor, or probed
              &run_es_pass<AudioScanState, scan_audio_format<kAc3Sync>, EsRole::Audio,
                           scan_audio_format_plain<kAc3Sync>>,
              0x6A, &kAc3Sync},
    EsScanner{0x06, EsRole::Audio,  // private data: enhanced AC-3 descriptor
              &run_es_pass<AudioScanState, scan_audio_format<kEac3Sync>, EsRole::Audio,
                           scan_audio_format_plain<kEac3Sync>>,
              0x7A},
    EsScanner{0x06, EsRole::Audio,  // private data: AAC descriptor, or probed
              &run_es_pass<AudioScanState, scan_audio_format<kPrivateAdtsSync>, EsRole::Audio,
                           scan_audio_format_plain<kPrivateAdtsSync>>,
              0x7C, &kPrivateAdtsSync},
};

// True when the descriptor loop holds a descriptor of `tag`; a descriptor
// cut short by the bytes held ends the walk.
bool has_descriptor(std::span<const std::uint8_t> es_info, std::uint8_t tag) {
  std::size_t at = 0;
  // descriptor_tag (8), descriptor_length (8), its bytes
  while (at + 2 <= es_info.size()) {
    if (es_info[at] == tag) return true;
    at += 2 + std::size_t{es_info[at + 1]};
  }
  return false;
}

}  // namespace

std::span<const EsScanner* const> probe_scanners() {
  // The rows that name a probe format, in table order.
  static const std::vector<const EsScanner*> rows = [] {
    std::vector<const EsScanner*> found;
    for (const EsScanner& row : kEsScanners) {
      if (row.probe_format != nullptr) found.push_back(&row);
    }
    return found;
  }();
  return rows;
}

const EsScanner* find_es_scanner(std::uint8_t stream_type) {
  return find_es_scanner(stream_type, {});
}

const EsScanner* find_es_scanner(std::uint8_t stream_type, std::span<const std::uint8_t> es_info) {
  for (const EsScanner& scanner : kEsScanners) {
    if (scanner.stream_type != stream_type) continue;
    if (scanner.descriptor_tag == 0 || has_descriptor(es_info, scanner.descriptor_tag)) {
      return &scanner;
    }
  }
  return nullptr;
}

const char* es_role_name(EsRole role) {
  return role == EsRole::Video ? "Video" : "Audio";
}

}  // namespace mendra
