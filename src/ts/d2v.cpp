#include "ts/d2v.h"

#include <cerrno>
#include <string>

#include "util/file_failure.h"
#include "util/path.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

constexpr std::string_view kLocationKey = "Location=";
constexpr int kHeaderLines = 3;  // lines 1 and 2 ignored, line 3 the source

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One %x conversion at text[pos]; false when no hex digit follows.
bool scan_hex(std::string_view text, std::size_t& pos, std::uint32_t& value) {
  std::size_t p = pos;
  while (p < text.size() && is_space(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  // A "0x" prefix counts only when a hex digit follows it; otherwise the 0
  // is the number.
  if (p + 2 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X') &&
      hex_digit(text[p + 2]) >= 0) {
    p += 2;
  }
  if (p >= text.size() || hex_digit(text[p]) < 0) return false;
  std::uint64_t magnitude = 0;
  for (; p < text.size() && hex_digit(text[p]) >= 0; ++p) {
    magnitude = (magnitude << 4) | static_cast<std::uint64_t>(hex_digit(text[p]));
    // Beyond 32 bits the value saturates; stop growing it.
    if (magnitude > 0xFFFFFFFFu) magnitude = 0xFFFFFFFFu;
  }
  const auto bits = static_cast<std::uint32_t>(magnitude);
  value = negative ? static_cast<std::uint32_t>(0u - bits) : bits;
  pos = p;
  return true;
}

}  // namespace

bool scan_d2v_location(std::string_view line, std::array<std::uint32_t, 4>& values) {
  // Text up to a NUL, as a C string reader sees it.
  line = line.substr(0, line.find('\0'));
  if (!line.starts_with(kLocationKey)) return false;
  std::size_t pos = kLocationKey.size();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      if (pos >= line.size() || line[pos] != ',') return false;
      ++pos;
    }
    if (!scan_hex(line, pos, values[i])) return false;
  }
  return true;
}

std::int64_t d2v_location_bytes(const std::array<std::uint32_t, 4>& values) {
  const std::int64_t blocks = std::int64_t{values[1]} - std::int64_t{values[0]};
  return blocks * (std::int64_t{1} << kD2vLocationUnitShift);
}

bool read_d2v(const std::string& d2v_path, const Log& log, std::int64_t& d2v_start_bytes,
              std::string& ts_base) {
  TextReader reader;
  if (!reader.open(d2v_path)) {
    report_file_failure(log, FileFailure{"input d2v", FileAction::Open, d2v_path, d2v_path, errno});
    return false;
  }
  std::string piece;
  std::string source_line;
  for (int line = 0; line < kHeaderLines; ++line) {
    if (!reader.read_piece(piece, kD2vPieceBytes)) return false;
    source_line = piece;
  }

  // The stream's name is the line without its line end (LF, or CR LF as
  // Windows tools write it), so that a name without an extension does not
  // keep the line end in it.
  while (!source_line.empty() && (source_line.back() == '\n' || source_line.back() == '\r')) {
    source_line.pop_back();
  }
  // The source path is resolved against the project's own folder unless it
  // has a drive; its extension is dropped.
  const PathParts project = split_path(d2v_path);
  const PathParts source = split_path(source_line);
  if (!source.drive.empty()) {
    ts_base = source.drive + source.directory + source.name;
  } else {
    ts_base = project.drive + project.directory + source.directory + source.name;
  }

  std::array<std::uint32_t, 4> location{};
  while (reader.read_piece(piece, kD2vPieceBytes)) {
    if (scan_d2v_location(piece, location)) {
      d2v_start_bytes = d2v_location_bytes(location);
      return true;
    }
  }
  return false;
}

}  // namespace mendra
