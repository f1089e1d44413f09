#!/usr/bin/env bash
# Kelbo against ffmpeg on the benchmark picture set: each case runs kelbo-export and the
# matching ffmpeg command alternately, ROUNDS times each, and prints the median wall time of
# each and the speed ratio (ffmpeg's median / Kelbo's). Then the quality of Kelbo's frames
# (PSNR against ffmpeg's area scaling), the peak memory of a 120-frame and a 1200-frame
# export, and the window benchmarks (adding 200 photographs, one preview step).
#
#   bench/compare.sh BUILD_DIR [SET_DIR] [ROUNDS]
#
# BUILD_DIR: a build with -DKELBO_BENCH=ON (kelbo-export and bench_window are taken from it).
# SET_DIR (default /work/benchset) is built with /work/shared/bench/make-set when missing, and
# gets 200 photographs of 4000x3000 for the adding benchmark. Look at the load first (uptime):
# the numbers mean something only on a quiet machine.
set -euo pipefail
build=$(realpath "${1:?usage: compare.sh BUILD_DIR [SET_DIR] [ROUNDS]}")
set_dir=${2:-/work/benchset}
rounds=${3:-5}
kelbo=$build/tools/kelbo-export/kelbo-export
window=$build/bench/bench_window
[ -x "$kelbo" ] || { echo "no kelbo-export in $build" >&2; exit 1; }

[ -s "$set_dir/mixed.kelbo" ] || /work/shared/bench/make-set "$set_dir"
if [ "$(ls "$set_dir/photos" 2>/dev/null | wc -l)" -lt 200 ]; then
  mkdir -p "$set_dir/photos"
  src=$(dirname "$(dpkg -L gnome-backgrounds | grep -m1 -E '\.webp$')")
  wall=$(ls "$src"/*.webp | grep -v vnc | sort | sed -n 2p)
  # Camera-like pictures: a wallpaper at 4000x3000 with grain that changes every picture.
  ffmpeg -v error -y -loop 1 -i "$wall" -vf "scale=4000:3000,noise=alls=10:allf=t+u" \
         -frames:v 200 -q:v 3 "$set_dir/photos/%04d.jpg"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The projects of the set at another frame size, and the JPEG one repeated ten times.
resize() { awk -v w="$2" -v h="$3" 'NR==2{print w "\r"; next} NR==3{print h "\r"; next} {print}' "$set_dir/$1.kelbo" > "$work/$1-$2x$3.kelbo"; }
resize jpeg 640 480
awk 'NR<=3{print; next} {l[NR]=$0} END{for(r=0;r<10;r++) for(i=4;i<=NR;i++) if (l[i] != "\r" && l[i] != "") print l[i]}' \
  "$work/jpeg-640x480.kelbo" > "$work/jpeg1200-640x480.kelbo"

# kelbo-export picks its own platform (minimal) when none is set, as it does for a user.
unset QT_QPA_PLATFORM
ff="ffmpeg -v error -y -framerate 30"
area320="scale=320:240:flags=area"
raw="-c:v rawvideo -pix_fmt bgr24"
# Kelbo's own encoder settings (avi/avifile.cpp, avi/compressors.cpp): Motion JPEG at quality
# 90 is qscale 4 in yuvj420p; H.264 at quality 80 is crf 11, key frame every 300, no B-frames.
mjpg="-c:v mjpeg -pix_fmt yuvj420p -q:v 4 -qmin 1"
h264="-c:v libx264 -pix_fmt yuv420p -crf 11 -g 300 -bf 0 -colorspace smpte170m -color_range tv"
mixed_inputs="-i $set_dir/jpeg/%04d.jpg -framerate 30 -i $set_dir/bmp/%04d.bmp -framerate 30 -f image2 -c:v gif -i $set_dir/gif/%04d.gif"
mixed_graph="[0]$area320,setsar=1[a];[1]$area320,setsar=1[b];[2]$area320,setsar=1[c];[a][b][c]concat=n=3"

# name | kelbo arguments | ffmpeg command
cases=(
  "JPEG 2560x1600 -> 320x240, DIB|$set_dir/jpeg.kelbo $work/k.avi|$ff -i $set_dir/jpeg/%04d.jpg -vf $area320 $raw $work/f.avi"
  "JPEG 2560x1600 -> 320x240, MJPG|$set_dir/jpeg.kelbo $work/k.avi --codec MJPG|$ff -i $set_dir/jpeg/%04d.jpg -vf $area320 $mjpg $work/f.avi"
  "JPEG 2560x1600 -> 640x480, DIB|$work/jpeg-640x480.kelbo $work/k.avi|$ff -i $set_dir/jpeg/%04d.jpg -vf scale=640:480:flags=area $raw $work/f.avi"
  "JPEG+BMP+GIF -> 320x240, DIB|$set_dir/mixed.kelbo $work/k.avi|$ff $mixed_inputs -filter_complex $mixed_graph $raw $work/f.avi"
  "BMP 1024x768 -> 320x240, DIB|$set_dir/bmp.kelbo $work/k.avi|$ff -i $set_dir/bmp/%04d.bmp -vf $area320 $raw $work/f.avi"
  "JPEG 2560x1600 -> 320x240, H264|$set_dir/jpeg.kelbo $work/k.avi --codec H264|$ff -i $set_dir/jpeg/%04d.jpg -vf $area320 $h264 $work/f.avi"
)

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
median() { sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)   rounds: $rounds   $(nproc) processors"
printf '| %-34s | %10s | %10s | %7s |\n' "case" "Kelbo (s)" "ffmpeg (s)" "ratio"
printf '|%s|%s|%s|%s|\n' "------------------------------------" "------------" "------------" "---------"
for c in "${cases[@]}"; do
  IFS='|' read -r name kargs fcmd <<<"$c"
  : > "$work/tk"; : > "$work/tf"
  for ((r = 0; r < rounds; r++)); do
    # shellcheck disable=SC2086
    seconds "$kelbo" --quiet $kargs >> "$work/tk"
    # shellcheck disable=SC2086
    seconds $fcmd >> "$work/tf"
  done
  mk=$(median < "$work/tk"); mf=$(median < "$work/tf")
  printf '| %-34s | %10.3f | %10.3f | %6.2fx |\n' "$name" "$mk" "$mf" "$(echo "$mf / $mk" | bc -l)"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Quality: Kelbo's full frames against ffmpeg's area scaling of the same pictures.
"$kelbo" --quiet "$set_dir/jpeg.kelbo" "$work/k.avi"
$ff -i "$set_dir/jpeg/%04d.jpg" -vf "$area320" $raw "$work/f.avi"
psnr=$(ffmpeg -v info -i "$work/k.avi" -i "$work/f.avi" -lavfi psnr -f null - 2>&1 | grep -o 'average:[0-9.a-z]*' | tail -1)
echo "PSNR of Kelbo's 320x240 frames against ffmpeg's area scaling: ${psnr#average:} dB"

# Peak memory: 120 and 1200 frames at 640x480.
rss() { /usr/bin/time -f '%M' "$kelbo" --quiet "$1" "$work/m.avi" 2>&1 >/dev/null | tail -1; }
m120=$(rss "$work/jpeg-640x480.kelbo"); m1200=$(rss "$work/jpeg1200-640x480.kelbo")
echo "peak memory at 640x480: 120 frames $((m120 / 1024)) MB, 1200 frames $((m1200 / 1024)) MB"

# The window: adding 200 photographs of 4000x3000, and preview steps over the JPEG set.
if [ -x "$window" ]; then
  "$window" add "$set_dir/photos"
  "$window" preview "$set_dir/jpeg.kelbo" 100
fi
