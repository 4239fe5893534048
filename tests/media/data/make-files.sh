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
# A remux as users make it: an MP4 whose audio (62 s) outlasts its video
# (60 s), the video copied and the audio made MP3. ffprobe on the AVI: video
# 60.000000 s, audio 64.152000 s (891 blocks of 72 ms: its 865 MP3 frames
# after the start that the copied video's decoding delay gives them).
ffmpeg -hide_banner -loglevel error -y -t 60 -f lavfi -i "color=c=black:s=16x16:r=1" \
  -t 62 -f lavfi -i "anullsrc=r=8000:cl=mono" -r 1 -c:v libx264 -g 100000 -c:a aac -b:a 8k \
  -map_metadata -1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact remux-source.mp4
ffmpeg -hide_banner -loglevel error -y -i remux-source.mp4 -c:v copy -c:a libmp3lame -b:a 8k \
  -map_metadata -1 -fflags +bitexact -flags:a +bitexact avi-remux-audio-outlasts-video-1m05s.avi
rm remux-source.mp4
make mp4-moov-at-end-2h00m03s.mp4 7 7203 -c:v libx264 -g 100000
make mp4-faststart-2h00m00s.mp4 60 7200 -c:v libx264 -g 100000 -movflags +faststart
# Fragmented (a fragment every -g frames): the movie header records 0 (empty
# movie box) or only the samples before the first fragment, and this muxer
# writes no movie-extends header; the running time is in the fragments' own
# records. Both files run 2 hours.
make mp4-fragmented-empty-moov.mp4 60 7200 -c:v libx264 -g 30 -movflags frag_keyframe+empty_moov
make mp4-fragmented-first-samples-in-moov.mp4 60 7200 -c:v libx264 -g 30 -movflags frag_keyframe
# A segment index before each fragment, covering that fragment alone.
make mp4-fragmented-dash-1h40m00s.mp4 60 6000 -c:v libx264 -g 20 -movflags +dash
# One segment index at the front covering every fragment.
make mp4-fragmented-global-sidx-2h05m00s.mp4 60 7500 -c:v libx264 -g 25 -movflags +dash+global_sidx
make mp4-fragmented-cmaf-1h30m00s.mp4 60 5400 -c:v libx264 -g 20 -movflags cmaf
# No decode times in the fragments: only the random-access table at the end
# tells when the last fragment starts.
make ismv-1h50m00s.ismv 60 6600 -c:v libx264 -g 30 -f ismv
make mov-1h30m15s.mov 15 5415 -c:v mpeg4 -g 100000
make 3gp-2h01m00s.3gp 60 7260 -c:v libx264 -g 100000
make m4v-45m05s.m4v 5 2705 -c:v libx264 -g 100000 -f ipod
make mkv-2h00m00s.mkv 60 7200 -c:v mpeg4 -g 100000
make webm-2h02m05s.webm 25 7325 -c:v libvpx -g 100000
make wmv-2h01m15s.wmv 97 7275 -c:v wmv2 -g 100000 -packet_size 100
make flv-2h00m03s.flv 7 7203 -c:v flv -g 100000
