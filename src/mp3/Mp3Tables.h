#pragma once

// The MPEG audio tables that the frame walker and the header-frame writer both read. Versions are
// numbered 10 (MPEG-1), 20 (MPEG-2) and 25 (MPEG-2.5), as `Mp3Format` counts them.
namespace mp3 {

// Samples a decoder's own overlap puts before the first sample of a stream.
inline constexpr int DecoderDelay = 529;

// kbit/s by [MPEG-1 ? 0 : 1][layer - 1][the header's bit-rate index]; index 0 is free format.
inline constexpr int BitrateKbps[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

// MPEG-1's sample rates by the header's rate index; MPEG-2 halves them and MPEG-2.5 quarters them.
inline constexpr int Mpeg1SampleRates[3] = {44100, 48000, 32000};

constexpr int sampleRate(int version, int rateIndex)
{
    return Mpeg1SampleRates[rateIndex] / (version == 10 ? 1 : version == 20 ? 2 : 4);
}

// The header's rate index of `rate` in `version`; 3 where none fits.
constexpr int rateIndexOf(int version, int rate)
{
    int index = 0;
    while (index < 3 && sampleRate(version, index) != rate)
        ++index;
    return index;
}

// Bytes of a Layer III frame, without its padding slot.
constexpr int layer3FrameBytes(int version, int rate, int bitrateIndex)
{
    return (version == 10 ? 144000 : 72000) * BitrateKbps[version == 10 ? 0 : 1][2][bitrateIndex] /
           rate;
}

// The lowest Layer III bit rate whose frames hold `bytes`; 15 where none does.
constexpr int lowestBitrateHolding(int version, int rate, int bytes)
{
    int index = 1;
    while (index < 15 && layer3FrameBytes(version, rate, index) < bytes)
        ++index;
    return index;
}

// The header's two version bits for a version, and back.
constexpr int versionBits(int version)
{
    return version == 10 ? 3 : version == 20 ? 2 : 0;
}

constexpr int versionFromBits(int bits)
{
    return bits == 3 ? 10 : bits == 2 ? 20 : 25;
}

constexpr int samplesPerFrame(int version, int layer)
{
    return layer == 1 ? 384 : (layer == 3 && version != 10) ? 576 : 1152;
}

// Bytes of Layer III side information after the header (and its CRC, if any).
constexpr int sideInfoSize(int version, bool mono)
{
    return version == 10 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

} // namespace mp3
