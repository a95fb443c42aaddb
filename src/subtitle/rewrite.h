// Re-timing of .ass and .srt subtitle files through the cut map and delays.
#pragma once

#include <string>

#include "cutlist/cut_map.h"
#include "util/settings.h"

namespace mendra {

// Reads input_base + ".ass" and writes output_base + ".ass".
void rewrite_ass(const std::string& input_base, const std::string& output_base, const CutMap& map,
                 const RunSettings& settings);

// Reads input_base + ".srt" and writes output_base + ".srt".
void rewrite_srt(const std::string& input_base, const std::string& output_base, const CutMap& map,
                 const RunSettings& settings);

}  // namespace mendra
