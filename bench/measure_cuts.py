#!/usr/bin/env python3
"""Sample-true pieces at random marks, decoded by ffmpeg and by mpg123.

Makes three 30 s files (VBR -V 2, CBR 128 kbit/s with an ID3v2 tag, CBR
320 kbit/s without a LAME tag), cuts each at 20 random pairs of marks with bench_cut_piece, and
compares each piece, decoded by each decoder, with the source decoded by the
same decoder between the marks: whether the lengths agree, whether the
samples are identical, and the largest difference in dBFS.

    bench/measure_cuts.py BUILD_DIR [SEED]
"""
import array
import math
import os
import random
import subprocess
import sys
import tempfile

CUTS = 20


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout


def decode(decoder, path):
    if decoder == "ffmpeg":
        pcm = run("ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-")
    else:
        pcm = run("mpg123", "-q", "-s", path)
    samples = array.array("h")
    samples.frombytes(pcm)
    return samples


def make_sources(folder):
    """Tones that glide and beat, with bursts of noise: like music, the
    encoder spends its bits unevenly and leans on the reservoir."""
    song = os.path.join(folder, "song.wav")
    parts = []
    for i in range(6):
        part = os.path.join(folder, f"part{i}.wav")
        low, high = 200 + 90 * i, 500 + 170 * i
        run("sox", "-n", "-r", "44100", "-c", "2", part, "synth", "5",
            "sine", f"{low}-{high}", "sine", f"{high}-{low}",
            "pinknoise", "tremolo", str(2 + i), "60", "vol", "0.4")
        parts.append(part)
    run("sox", *parts, song)
    files = {
        "VBR -V 2": (["-V", "2"], "vbr.mp3"),
        "CBR 128k with ID3": (["-b", "128", "--id3v2-only", "--tt", "Song",
                              "--ta", "Artist"], "cbr128.mp3"),
        "CBR 320k, no tag": (["-b", "320", "-t"], "cbr320.mp3"),
    }
    out = {}
    for name, (options, file) in files.items():
        path = os.path.join(folder, file)
        run("lame", "--quiet", *options, song, path)
        out[name] = path
    return out


def compare(expected, got):
    """(lengths agree, identical, largest difference in dBFS)."""
    if len(expected) != len(got):
        return False, False, 0.0
    if expected == got:
        return True, True, -math.inf
    worst = max(abs(a - b) for a, b in zip(expected, got))
    return True, False, 20 * math.log10(worst / 32768)


def main():
    build = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 23)
    cutter = os.path.join(build, "bin", "bench_cut_piece")
    with tempfile.TemporaryDirectory() as folder:
        sources = make_sources(folder)
        piece = os.path.join(folder, "piece.mp3")
        print(f"{'file':<20} {'decoder':<8} {'exact length':>12} "
              f"{'bit-identical':>13} {'worst (dBFS)':>12}")
        totals = {"cuts": 0, "identical both": 0}
        for name, source in sources.items():
            samples = int(run(cutter, source))
            decoded = {d: decode(d, source) for d in ("ffmpeg", "mpg123")}
            rows = {d: [0, 0, -math.inf] for d in decoded}
            for _ in range(CUTS):
                start = rng.randrange(0, samples - 4410)
                end = rng.randrange(start + 2205, min(samples, start + 20 * 44100) + 1)
                run(cutter, source, str(start), str(end), piece)
                both = True
                for decoder, whole in decoded.items():
                    length, same, worst = compare(
                        whole[start * 2:end * 2], decode(decoder, piece))
                    row = rows[decoder]
                    row[0] += length
                    row[1] += same
                    row[2] = max(row[2], worst)
                    both = both and same
                totals["cuts"] += 1
                totals["identical both"] += both
            for decoder, (length, same, worst) in rows.items():
                shown = "none" if worst == -math.inf else f"{worst:.1f}"
                print(f"{name:<20} {decoder:<8} {length:>9}/{CUTS} "
                      f"{same:>10}/{CUTS} {shown:>12}")
        print(f"bit-identical with both decoders: {totals['identical both']} of "
              f"{totals['cuts']} cuts")


if __name__ == "__main__":
    main()
