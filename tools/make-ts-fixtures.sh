#!/usr/bin/env bash
# Makes the small transport streams (.ts, and .m2ts with 192-byte packets)
# under tests/data/ts/ that the stream measurement tests run on, and derives
# their expected values.
#
#   bash tools/make-ts-fixtures.sh
#
# Each stream is a few seconds of test pattern (MPEG-2 video, two B pictures
# between references, open GOPs of 15 pictures) and a sine tone (AAC LC in
# ADTS frames), muxed by ffmpeg into MPEG-2 TS. The streams are committed, so
# the tests and CI need no ffmpeg; run this only to change or add a stream,
# then review the diff of tests/data/ts/expected.txt and update README.md there.
#
# Determinism: every input is synthetic (no random source, so no seed to fix),
# encoding is single-threaded and bit-exact, and the muxer writes no version or
# date. A different ffmpeg build may still produce other bytes (its encoders
# change between releases); the expected values are then derived anew below.
set -euo pipefail

cd "$(dirname "$0")/.."
OUT=tests/data/ts

for tool in ffmpeg ffprobe python3; do
  if ! command -v "$tool" > /dev/null; then
    echo "make-ts-fixtures: $tool not found; install it with: apt-get install ffmpeg python3" >&2
    exit 1
  fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$OUT"

# Options shared by every ffmpeg run:
#   -nostdin -y          never wait for the terminal, overwrite outputs
#   -fflags +bitexact    muxers write no library version (SDT, ADTS)
#   -flags +bitexact     encoders use only their bit-exact code paths
#   -threads 1           slice threading changes the coded bytes
FFMPEG=(ffmpeg -hide_banner -loglevel error -nostdin -y)
BITEXACT=(-fflags +bitexact -flags +bitexact -threads 1)

# Video encoding, as broadcast MPEG-2 is coded:
#   mpeg2video           ISO/IEC 13818-2, stream_type 0x02 in the PMT
#   -bf 2                two B pictures between references, so decode order
#                        (I P B B ...) differs from display order (B B I ...)
#   -g 15                a GOP header and an I picture every 15 pictures;
#                        GOPs stay open (no -flags +cgop): the B pictures after
#                        each later I refer back into the previous GOP, and the
#                        I carries temporal_reference 2, not 0
#   -sc_threshold        no extra I pictures on scene changes: a fixed GOP grid
#   -b:v 1M              about 125 kB per second at 320x240, 29.97 pictures/s
VIDEO=(-c:v mpeg2video -bf 2 -g 15 -sc_threshold 1000000000 -b:v 1M)

# testsrc2 is a moving, deterministic test pattern; 30000/1001 is NTSC rate.
pattern() { echo "testsrc2=size=320x240:rate=30000/1001:duration=$1"; }

# make_aac NAME SECONDS HZ: a stereo sine tone as MPEG-2 AAC in ADTS frames.
# ffmpeg's ADTS writer marks frames MPEG-4 (ID 0, header FF F1); broadcast
# streams carry MPEG-2 AAC (ID 1, FF F9), the only kind mendra's audio start
# test accepts. adts-set-id.py sets the ID bit frame by frame and verifies the
# walk; the frame payloads are untouched.
make_aac() {
  local name=$1 seconds=$2 hz=$3
  "${FFMPEG[@]}" "${BITEXACT[@]}" \
    -f lavfi -i "sine=frequency=$hz:sample_rate=48000:duration=$seconds" \
    -c:a aac -b:a 128k -ac 2 -f adts "$WORK/$name.mpeg4.aac"
  python3 tools/adts-set-id.py "$WORK/$name.mpeg4.aac" "$WORK/$name.aac"
}

# check_ts FILE: the muxed audio must still be MPEG-2 AAC, frame for frame,
# and the stream small enough to keep in the repository.
check_ts() {
  local file=$1 info
  info=$(python3 tools/ts-first-pcr.py "$file")
  if grep -q '^audio_pid=0x0000$' <<< "$info" || ! grep -q '^adts_frames=' <<< "$info"; then
    :  # no audio, or not ADTS-AAC
  elif ! grep -q '^adts_id0_frames=0$' <<< "$info" || ! grep -q '^adts_bad_walk=-1$' <<< "$info"; then
    echo "make-ts-fixtures: $file: audio is not clean MPEG-2 ADTS:" >&2
    echo "$info" >&2
    exit 1
  fi
  if [ "$(stat -c %s "$file")" -ge 1048576 ]; then
    echo "make-ts-fixtures: $file is 1 MiB or larger" >&2
    exit 1
  fi
}

# plain.ts: ffmpeg's defaults. Program 1, PMT PID 0x1000, video (and PCR) on
# 0x0100, audio on 0x0101. Audio and video start together; the muxer starts
# the clock 0.7 s before the first picture is due.
make_aac plain 3 1000
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 3)" -i "$WORK/plain.aac" -map 0:v -map 1:a \
  "${VIDEO[@]}" -c:a copy \
  -f mpegts "$OUT/plain.ts"
check_ts "$OUT/plain.ts"

# offset.ts: a recording that is not at the start of the clock, with its own
# PIDs and program number:
#   -itsoffset 0.25 (before the audio input)  audio starts 0.25 s after video
#   -muxdelay 1.0                             clock starts 1.0 s before the
#                                             first picture is due (not 0.7)
#   -output_ts_offset 600                     every PCR/PTS 600 s later
#   -mpegts_pmt_start_pid 0x1f0               PMT on PID 0x01F0
#   -mpegts_start_pid 0x111                   video 0x0111, audio 0x0112
#   -mpegts_service_id 1032                   program_number 1032 (0x0408)
make_aac offset 3 440
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 3)" -itsoffset 0.25 -i "$WORK/offset.aac" -map 0:v -map 1:a \
  "${VIDEO[@]}" -c:a copy \
  -muxdelay 1.0 -output_ts_offset 600 \
  -mpegts_pmt_start_pid 0x1f0 -mpegts_start_pid 0x111 -mpegts_service_id 1032 \
  -f mpegts "$OUT/offset.ts"
check_ts "$OUT/offset.ts"

# Two recordings that start in mid-stream: a stream without its first N
# bytes (dd skip). N is not a multiple of 188, so each file begins with the
# last 56 bytes of a packet (none of them 0x47) before its first sync byte.
# ffmpeg writes each PES as one run of packets, so each cut falls inside a
# PES of one stream only; both begin with a PCR before the first PAT/PMT, and
# between the PMT and the first PCR the PCR PID carries a packet whose
# adaptation field is stuffing (7 bytes or more, PCR_flag clear).
#
# midcut.ts: offset.ts from byte 209000. The cut falls inside the PES of an
# I picture: the file opens with 14 continuation packets of video, then the
# B picture with temporal_reference 0 that follows that lost I picture; the
# start picture is only found after the next I picture (temporal_reference 2).
MIDCUT_SKIP_BYTES=209000
dd if="$OUT/offset.ts" of="$OUT/midcut.ts" bs="$MIDCUT_SKIP_BYTES" skip=1 status=none
check_ts "$OUT/midcut.ts"

# audiocut.ts: plain.ts from byte 138500. The cut falls inside an audio PES:
# the file opens with 14 continuation packets of audio before the first
# audio PES start.
AUDIOCUT_SKIP_BYTES=138500
dd if="$OUT/plain.ts" of="$OUT/audiocut.ts" bs="$AUDIOCUT_SKIP_BYTES" skip=1 status=none
check_ts "$OUT/audiocut.ts"

# noaudio.ts: video only; the PMT lists no AAC stream.
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -map 0:v \
  "${VIDEO[@]}" \
  -f mpegts "$OUT/noaudio.ts"
check_ts "$OUT/noaudio.ts"

# wrap.ts: the 33-bit clocks wrap between the first PCR and the first PTS.
#   -output_ts_offset 95442.6   2^33 ticks are 95443.7176 s; the first PCR
#                               lands just below 2^33 and every PTS just past
#                               it, written modulo 2^33 as small values
#   -itsoffset 0.1 (before the video input)
#                               video starts 0.1 s after the audio, so the
#                               audio delay is the smaller one
make_aac wrap 2 2000
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -itsoffset 0.1 -f lavfi -i "$(pattern 2)" -i "$WORK/wrap.aac" -map 0:v -map 1:a \
  "${VIDEO[@]}" -c:a copy \
  -output_ts_offset 95442.6 \
  -f mpegts "$OUT/wrap.ts"
check_ts "$OUT/wrap.ts"

# ---- Other codecs and 192-byte packets ----
# Two seconds each, at a lower bit rate, to keep every stream near 100 kB.
# H.264 and HEVC as broadcast and camcorders code them: open GOPs of 15
# pictures (the B pictures after a later I refer back into the previous GOP,
# so only the first keyframe is an IDR picture), three B pictures between
# references used as references themselves (B-pyramid), no scene-cut I
# pictures.
X264=(-c:v libx264 -preset veryfast -b:v 300k -g 15 -bf 3 -sc_threshold 0
  -x264-params open-gop=1:b-pyramid=normal:threads=1)
X265=(-c:v libx265 -preset veryfast -b:v 300k
  -x265-params keyint=15:min-keyint=15:bframes=3:b-pyramid=1:open-gop=1:scenecut=0:pools=1:frame-threads=1:log-level=error)
MPEG2_SMALL=(-c:v mpeg2video -bf 2 -g 15 -sc_threshold 1000000000 -b:v 500k)
tone() { echo "sine=frequency=$1:sample_rate=48000:duration=2"; }

# h264_ac3.ts: H.264 + AC-3 (stream types 0x1B, 0x81); video -itsoffset 0.2,
# so the audio starts 0.2 s before the video.
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -itsoffset 0.2 -f lavfi -i "$(pattern 2)" -f lavfi -i "$(tone 1000)" \
  "${X264[@]}" -c:a ac3 -b:a 96k -ac 2 \
  -f mpegts "$OUT/h264_ac3.ts"
check_ts "$OUT/h264_ac3.ts"

# h264_ac3_cut.ts: h264_ac3.ts from byte 30000 (30000 = 159 * 188 + 108: 80
# bytes of a cut packet before the first sync byte).
dd if="$OUT/h264_ac3.ts" of="$OUT/h264_ac3_cut.ts" bs=30000 skip=1 status=none
check_ts "$OUT/h264_ac3_cut.ts"

# hevc_eac3.ts: HEVC + E-AC-3 (0x24, 0x87); audio -itsoffset 0.3, after video.
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -itsoffset 0.3 -f lavfi -i "$(tone 440)" \
  "${X265[@]}" -c:a eac3 -b:a 96k -ac 2 \
  -f mpegts "$OUT/hevc_eac3.ts"
check_ts "$OUT/hevc_eac3.ts"

# mpeg2_mp2.ts: MPEG-2 + MPEG-1 Layer II audio (0x02, 0x03); audio 0.15 s
# after video.
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -itsoffset 0.15 -f lavfi -i "$(tone 2000)" \
  "${MPEG2_SMALL[@]}" -c:a mp2 -b:a 128k \
  -f mpegts "$OUT/mpeg2_mp2.ts"
check_ts "$OUT/mpeg2_mp2.ts"

# h264_latm.ts: H.264 + AAC in LATM/LOAS (0x1B, 0x11): the muxer's latm flag.
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -f lavfi -i "$(tone 1000)" \
  "${X264[@]}" -c:a aac -b:a 64k -ac 2 \
  -mpegts_flags +latm -f mpegts "$OUT/h264_latm.ts"
check_ts "$OUT/h264_latm.ts"

# h264_ac3.m2ts: ffmpeg's own m2ts mode (192-byte packets, Blu-ray PIDs: PMT
# 0x0100, video and PCR 0x1011, audio 0x1100), as camcorders write .mts;
# AC-3 keeps 0x81 there. Audio 0.1 s after video.
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -itsoffset 0.1 -f lavfi -i "$(tone 440)" \
  "${X264[@]}" -c:a ac3 -b:a 96k -ac 2 \
  -mpegts_m2ts_mode 1 -f mpegts "$OUT/h264_ac3.m2ts"
check_ts "$OUT/h264_ac3.m2ts"

# MPEG-2 AAC in 192-byte packets. ffmpeg's m2ts mode marks AAC as private
# data (0x06), so these are muxed as plain TS, with MPEG-2 ADTS as above,
# and ts-to-m2ts.py puts a 4-byte time stamp before every packet.
#   h264_aac.m2ts   H.264 + AAC, audio 0.1 s after video
#   mpeg2_aac.m2ts  MPEG-2 + AAC, audio 0.2 s after video: measurable by the
#                   MPEG-2 and ADTS scanners alone
make_aac m2ts 2 1000
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -itsoffset 0.1 -i "$WORK/m2ts.aac" -map 0:v -map 1:a \
  "${X264[@]}" -c:a copy -f mpegts "$WORK/h264_aac.ts"
python3 tools/ts-to-m2ts.py "$WORK/h264_aac.ts" "$OUT/h264_aac.m2ts"
check_ts "$OUT/h264_aac.m2ts"
"${FFMPEG[@]}" "${BITEXACT[@]}" \
  -f lavfi -i "$(pattern 2)" -itsoffset 0.2 -i "$WORK/m2ts.aac" -map 0:v -map 1:a \
  "${MPEG2_SMALL[@]}" -c:a copy -f mpegts "$WORK/mpeg2_aac.ts"
python3 tools/ts-to-m2ts.py "$WORK/mpeg2_aac.ts" "$OUT/mpeg2_aac.m2ts"
check_ts "$OUT/mpeg2_aac.m2ts"

# mpeg2_aac_cut.m2ts: mpeg2_aac.m2ts from byte 40000 (40000 = 208 * 192 +
# 64: 128 bytes of a cut packet, then the next packet's time stamp, then
# its sync byte at offset 132).
dd if="$OUT/mpeg2_aac.m2ts" of="$OUT/mpeg2_aac_cut.m2ts" bs=40000 skip=1 status=none
check_ts "$OUT/mpeg2_aac_cut.m2ts"

STREAMS=(plain offset midcut audiocut noaudio wrap
  h264_ac3.ts h264_ac3_cut.ts hevc_eac3.ts mpeg2_mp2.ts h264_latm.ts
  h264_ac3.m2ts h264_aac.m2ts mpeg2_aac.m2ts mpeg2_aac_cut.m2ts)

# The expected values, from ffprobe and the independent PCR reader.
python3 tools/ts-expected.py "$OUT" "${STREAMS[@]}" > "$OUT/expected.txt"
python3 tools/ts-expected.py --markdown "$OUT" "${STREAMS[@]}" > "$WORK/table.md"
ls -l "$OUT"/*.ts "$OUT"/*.m2ts
echo "expected values written to $OUT/expected.txt; the README table:"
cat "$WORK/table.md"
