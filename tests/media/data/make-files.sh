#!/usr/bin/env bash
# Makes the sample files of this folder with Debian's ffmpeg (5.1). Run once;
# the files are committed and the tests never need ffmpeg. Each is a few
# pixels of black at one frame every few seconds, so that hours of running
# time stay small. The frame interval sets the running time exactly: the
# muxers record the last frame's end, i.e. frames × interval. "bitexact"
# leaves out what would differ between runs (identifiers, dates, versions).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

# make OUTPUT SECONDS-PER-FRAME TOTAL-SECONDS [ffmpeg output options...]
make() {
  local out="$1" every="$2" total="$3"
  shift 3
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "color=c=black:s=16x16:r=1/$every" \
    -t "$total" -r "1/$every" -map_metadata -1 -fflags +bitexact -flags:v +bitexact "$@" "$out"
}

make avi-2h15m45s.avi 45 8145 -c:v mpeg4 -g 100000
make mp4-moov-at-end-2h00m03s.mp4 7 7203 -c:v libx264 -g 100000
make mp4-faststart-2h00m00s.mp4 60 7200 -c:v libx264 -g 100000 -movflags +faststart
# Fragmented: the movie header records 0 (empty movie box) or only the
# samples before the first fragment, and this muxer writes no movie-extends
# header, so neither file records its whole running time.
make mp4-fragmented-empty-moov.mp4 60 7200 -c:v libx264 -g 30 -movflags frag_keyframe+empty_moov
make mp4-fragmented-first-samples-in-moov.mp4 60 7200 -c:v libx264 -g 30 -movflags frag_keyframe
make mov-1h30m15s.mov 15 5415 -c:v mpeg4 -g 100000
make 3gp-2h01m00s.3gp 60 7260 -c:v libx264 -g 100000
make m4v-45m05s.m4v 5 2705 -c:v libx264 -g 100000 -f ipod
make mkv-2h00m00s.mkv 60 7200 -c:v mpeg4 -g 100000
make webm-2h02m05s.webm 25 7325 -c:v libvpx -g 100000
make wmv-2h01m15s.wmv 97 7275 -c:v wmv2 -g 100000 -packet_size 100
make flv-2h00m03s.flv 7 7203 -c:v flv -g 100000
