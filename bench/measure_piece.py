#!/usr/bin/env python3
"""Where a piece marked on the track bar lands in the source's sound.

Cuts SOURCE from T1 to T2 seconds both ways: by the proportional byte
formulas, and through the frames that play at those times, as the window
does now. Decodes source and pieces with ffmpeg and finds each piece's
samples in the decoded source.

    bench/measure_piece.py SOURCE T1 T2
"""
import json
import os
import subprocess
import sys
import tempfile

L, W = 720, 4935  # the track bar, twips


def probe(path):
    out = subprocess.check_output(
        ["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_packets",
         "-show_entries", "packet=pos,pts_time,size:format=duration",
         "-of", "json", path])
    info = json.loads(out)
    packets = [(float(p["pts_time"]), int(p["pos"]), int(p["size"]))
               for p in info["packets"]]
    first = packets[0][0]
    return (float(info["format"]["duration"]),
            [(t - first, pos, size) for t, pos, size in packets])


def decode(path):
    return subprocess.check_output(
        ["ffmpeg", "-v", "fatal", "-i", path,
         "-f", "s16le", "-ac", "2", "-ar", "44100", "-"])


def locate(source_pcm, piece_pcm):
    """Seconds of the source where the piece's sound begins and ends."""
    rate = 44100 * 4  # bytes a second: two 16-bit channels
    # Past the first frames, whose sound leans on bytes the piece lacks,
    # the samples are identical.
    for skip in range(rate // 5, len(piece_pcm) - 256, rate // 10):
        needle = piece_pcm[skip:skip + 256]
        at = source_pcm.find(needle)
        while at >= 0 and at % 4:
            at = source_pcm.find(needle, at + 1)
        if at >= 0:
            begin = (at - skip) / rate
            return begin, begin + len(piece_pcm) / rate
    return None


def main():
    source, t1, t2 = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    d, packets = probe(source)
    data = open(source, "rb").read()
    n = len(data)
    ls = round(t1 / d * W + L)
    w = round(t2 / d * W - ls + L)
    before = (round((ls - L) / W * n) + 1, round(w / W * n))

    def frame_at(t):
        k = 0
        while k + 1 < len(packets) and packets[k + 1][0] <= t:
            k += 1
        return packets[k]

    ts, te = (ls - L) / W * d, (ls + w - L) / W * d
    first = 1 if ts <= 0 else frame_at(ts)[1] + 1
    last = frame_at(te)[1] + frame_at(te)[2]
    after = (first, last - first + 1)

    source_pcm = decode(source)
    print(f"{os.path.basename(source)}: {n} bytes, {d:.2f} s; "
          f"marked {ts:.3f}-{te:.3f} s")
    with tempfile.TemporaryDirectory() as scratch:
        for name, (start, length) in (("before", before), ("after", after)):
            piece = os.path.join(scratch, name + ".mp3")
            with open(piece, "wb") as out:
                out.write(data[start - 1:start - 1 + length])
            found = locate(source_pcm, decode(piece))
            where = ("not found" if found is None
                     else f"{found[0]:.2f}-{found[1]:.2f} s")
            print(f"  {name}: bytes {start}..{start + length - 1}, "
                  f"plays {where}")


if __name__ == "__main__":
    main()
