// The stream-type table: which scanner reads which stream type, and which
// PID of the program it measures. The PMT walk and the passes consult it.
#include <array>

#include "ts/audio_scan.h"
#include "ts/es_scan.h"
#include "ts/nal_scan.h"
#include "ts/video_scan.h"

namespace mendra {
namespace {

constexpr std::array kEsScanners = {
    EsScanner{0x02, EsRole::Video,  // MPEG-2 video
              &run_es_pass<VideoScanState, scan_video_payload, EsRole::Video>},
    EsScanner{0x0F, EsRole::Audio,  // ADTS-AAC audio
              &run_es_pass<AudioScanState, scan_audio_payload, EsRole::Audio>},
    EsScanner{0x1B, EsRole::Video,  // H.264 video
              &run_es_pass<H264ScanState, scan_h264_payload, EsRole::Video>},
    EsScanner{0x24, EsRole::Video,  // HEVC video
              &run_es_pass<HevcScanState, scan_hevc_payload, EsRole::Video>},
};

}  // namespace

const EsScanner* find_es_scanner(std::uint8_t stream_type) {
  for (const EsScanner& scanner : kEsScanners) {
    if (scanner.stream_type == stream_type) return &scanner;
  }
  return nullptr;
}

const char* es_role_name(EsRole role) {
  return role == EsRole::Video ? "Video" : "Audio";
}

}  // namespace mendra
