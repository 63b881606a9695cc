// Row functions written once for 128-bit lanes and built twice: with one lane on SSSE3 and with
// two lanes on AVX2. Every operation below works inside its lane, so each lane converts its own
// block of pixels; LoadBlock and StoreBlock give lane i the i-th block of the row.
//
// Included inside the namespace of the instruction set, after the lane primitives:
//   V, kLanes, LoadBlock/StoreBlock (p, bytes per block), StoreBlocks<n> (n consecutive 16-byte
//   parts of each block), Broadcast(16-byte mask), and V-typed wrappers of the SSE operations.
//
// Why the integer tricks below give exactly the scalar bytes:
// - YUV to RGB: the quotient is clamped to 0..255, and a negative numerator gives at most 0
//   whether it is truncated or floored, so an arithmetic shift is exact. Y * 256 is a multiple of
//   256, so floor((c * k + Y * 256) / 256) = Y + floor(c * k / 256); with c = chroma - 128 in
//   -128..127, c * 256 fits in 16 bits and the high half of (c * 256) * k is that floor.
// - RGB to YUV: the luma sum stays below 65536, so 16-bit lanes hold it unsigned; the chroma sums
//   stay within +-28560, and adding 255 (63) to negative ones before the arithmetic shift by 8
//   (6) truncates toward zero. The 10-bit formulas are the 8-bit sums times 4.

namespace {

using Mask = std::array<int8_t, 16>;
constexpr int8_t kZero = -128;  // a shuffle index that writes 0

// Byte j of the 16 gathered from register `part` of 48 bytes of 3-byte pixels: channel c of pixel j.
constexpr std::array<Mask, 9> kGather3 = [] {
  std::array<Mask, 9> masks{};
  for (int part = 0; part < 3; ++part) {
    for (int c = 0; c < 3; ++c) {
      for (int j = 0; j < 16; ++j) {
        const int k = 3 * j + c - 16 * part;
        masks[part * 3 + c][j] = (k >= 0 && k < 16) ? static_cast<int8_t>(k) : kZero;
      }
    }
  }
  return masks;
}();

// Byte j of output register `part` of 48 interleaved bytes, taken from the register of channel c.
constexpr std::array<Mask, 9> kScatter3 = [] {
  std::array<Mask, 9> masks{};
  for (int part = 0; part < 3; ++part) {
    for (int c = 0; c < 3; ++c) {
      for (int j = 0; j < 16; ++j) {
        const int k = 16 * part + j;
        masks[part * 3 + c][j] = k % 3 == c ? static_cast<int8_t>(k / 3) : kZero;
      }
    }
  }
  return masks;
}();

// The same from registers holding B of even and R of odd pixels, R of even and B of odd pixels,
// and G: what adding the (B, R) chroma terms of 4:2:2 pairs to the luma words gives.
constexpr std::array<Mask, 9> kScatterPairs = [] {
  std::array<Mask, 9> masks{};
  for (int part = 0; part < 3; ++part) {
    for (int r = 0; r < 3; ++r) {
      for (int j = 0; j < 16; ++j) {
        const int k = 16 * part + j, p = k / 3, c = k % 3;
        const int from = c == 1 ? 2 : ((c == 0) == (p % 2 == 0) ? 0 : 1);
        masks[part * 3 + r][j] = from == r ? static_cast<int8_t>(p) : kZero;
      }
    }
  }
  return masks;
}();

constexpr Mask kDrop4th = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, kZero, kZero, kZero, kZero};
constexpr Mask kAppend4th = {0, 1, 2, kZero, 3, 4, 5, kZero, 6, 7, 8, kZero, 9, 10, 11, kZero};
constexpr Mask kAppend4thWord = {0, 1, 2, 3, 4, 5, kZero, kZero, 6, 7, 8, 9, 10, 11, kZero, kZero};
constexpr Mask kSwapWords = {2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13};
constexpr Mask kGroupBy4th = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
constexpr Mask kReverse4 = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};
constexpr Mask kReverseHighBytesLo = {7, 5, 3, 1, 15, 13, 11, 9, kZero, kZero, kZero, kZero, kZero, kZero, kZero, kZero};
constexpr Mask kReverseHighBytesHi = {kZero, kZero, kZero, kZero, kZero, kZero, kZero, kZero, 7, 5, 3, 1, 15, 13, 11, 9};
constexpr Mask kReverseWidenLo = {3, 3, 2, 2, 1, 1, 0, 0, 7, 7, 6, 6, 5, 5, 4, 4};
constexpr Mask kReverseWidenHi = {11, 11, 10, 10, 9, 9, 8, 8, 15, 15, 14, 14, 13, 13, 12, 12};

// 16 pixels of three bytes per lane <-> three registers of one channel each. The masks live in
// registers for the whole row (stores through byte pointers would otherwise force reloads).
struct Channels3 {
  V gather[9], scatter[9];
  explicit Channels3(const std::array<Mask, 9>& scatterMasks = kScatter3) {
    for (int i = 0; i < 9; ++i) {
      gather[i] = Broadcast(kGather3[i]);
      scatter[i] = Broadcast(scatterMasks[i]);
    }
  }
  void Split(const uint8_t* p, V out[3]) const {
    const V a = LoadBlock(p, 48), b = LoadBlock(p + 16, 48), c = LoadBlock(p + 32, 48);
    for (int ch = 0; ch < 3; ++ch) {
      out[ch] = Or(Or(Shuffle(a, gather[ch]), Shuffle(b, gather[3 + ch])), Shuffle(c, gather[6 + ch]));
    }
  }
  void Join(const V in[3], uint8_t* p) const {
    V out[3];
    for (int part = 0; part < 3; ++part) {
      const V* m = scatter + 3 * part;
      out[part] = Or(Or(Shuffle(in[0], m[0]), Shuffle(in[1], m[1])), Shuffle(in[2], m[2]));
    }
    StoreBlocks<3>(p, 48, out);
  }
};

// The green term floor((34432 - 182 V - 87 U) / 256) = floor(S / 256), S = -182 v - 87 u with
// v = V - 128, u = U - 128, needs 17 bits. Its half rounded down, -91 v + floor(-87 u / 2), fits
// in 16 bits, and flooring the half first does not change the floor of the division by 256.
// Both parts are high halves of products with c * 256: -91 * 256 and -87 * 128.
constexpr int16_t kGreenV = -91 * 256, kGreenU = -87 * 128;
// The YUV to RGB constants: factors for c * 256 in 16-bit lanes, alone or for (U, V) word pairs.
struct YuvConstants {
  const V flip = Set16(static_cast<int16_t>(0x8000));  // c * 256 - 128 * 256
  const V kB = Set16(453);
  const V kR = Set16(358);
  const V kBR = Set32((358 << 16) | 453);  // (U, V) word pairs
  const V greenU = Set16(kGreenU), greenV = Set16(kGreenV);
  const V greenUV = Set32(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(kGreenV)) << 16 |
                                               static_cast<uint16_t>(kGreenU)));
};

// B, G, R registers from luma words and per-pixel chroma terms (8 + 8 pixels per lane).
inline void AddTerms(V yLo, V yHi, const V bt[2], const V gt[2], const V rt[2], V bgr[3]) {
  bgr[0] = PackUS16(Add16(yLo, bt[0]), Add16(yHi, bt[1]));
  bgr[1] = PackUS16(Add16(yLo, gt[0]), Add16(yHi, gt[1]));
  bgr[2] = PackUS16(Add16(yLo, rt[0]), Add16(yHi, rt[1]));
}

inline V GreenTerm16(const YuvConstants& k, V u256, V v256) {
  return Srai16<7>(Add16(Mulhi16(u256, k.greenU), Mulhi16(v256, k.greenV)));
}

// 16 pixels per lane of V, U, Y bytes to B, G, R registers.
inline void YuvToBgr16(const YuvConstants& k, V v, V u, V y, V bgr[3]) {
  const V zero = Zero();
  const V u256[2] = {Xor(UnpackLo8(zero, u), k.flip), Xor(UnpackHi8(zero, u), k.flip)};
  const V v256[2] = {Xor(UnpackLo8(zero, v), k.flip), Xor(UnpackHi8(zero, v), k.flip)};
  const V bt[2] = {Mulhi16(u256[0], k.kB), Mulhi16(u256[1], k.kB)};
  const V rt[2] = {Mulhi16(v256[0], k.kR), Mulhi16(v256[1], k.kR)};
  const V gt[2] = {GreenTerm16(k, u256[0], v256[0]), GreenTerm16(k, u256[1], v256[1])};
  AddTerms(UnpackLo8(y, zero), UnpackHi8(y, zero), bt, gt, rt, bgr);
}

// Byte pairs (first, second) of signed weights for Maddubs.
constexpr int16_t Weights(int first, int second) {
  return static_cast<int16_t>((static_cast<uint16_t>(static_cast<uint8_t>(second)) << 8) | static_cast<uint8_t>(first));
}

// RGB to YUV weights on (B, G) and (R, G) byte pairs. Each product pair stays within 16 bits:
// luma splits the 129 of G as 85 + 44 so neither pair passes 110 * 255.
struct RgbConstants {
  const V yBG = Set16(Weights(25, 85)), yRG = Set16(Weights(66, 44));
  const V uBG = Set16(Weights(112, -74)), uRG = Set16(Weights(-38, 0));
  const V vBG = Set16(Weights(-18, 0)), vRG = Set16(Weights(112, -94));
};

// n / 2^kShift truncated toward zero, for signed 16-bit n.
template <int kShift>
inline V TruncShift(V n) {
  return Srai16<kShift>(Add16(n, And(Srai16<15>(n), Set16((1 << kShift) - 1))));
}

// Y, U, V words of 16 pixels per lane of B, G, R bytes (lo: pixels 0-7, hi: 8-15); kShift 8 for
// 8-bit results, 6 for 10-bit ones.
template <int kShift>
struct Yuv16 {
  V y[2], u[2], v[2];
  Yuv16(const RgbConstants& k, const V bgr[3]) {
    const V center = Set16(kShift == 8 ? 128 : 512);
    for (int h = 0; h < 2; ++h) {
      const V bg = h ? UnpackHi8(bgr[0], bgr[1]) : UnpackLo8(bgr[0], bgr[1]);
      const V rg = h ? UnpackHi8(bgr[2], bgr[1]) : UnpackLo8(bgr[2], bgr[1]);
      y[h] = Srli16<kShift>(Add16(Maddubs(bg, k.yBG), Maddubs(rg, k.yRG)));
      u[h] = Add16(TruncShift<kShift>(Add16(Maddubs(bg, k.uBG), Maddubs(rg, k.uRG))), center);
      v[h] = Add16(TruncShift<kShift>(Add16(Maddubs(bg, k.vBG), Maddubs(rg, k.vRG))), center);
    }
  }
};

// Average of the two pixels of each pair: 8 pair values from 16 pixel values.
inline V PairAverage(const V w[2]) { return Srli16<1>(Hadd16(w[0], w[1])); }

// Appends a fourth element to each 3-element pixel, 12 bytes at a time: 48 bytes in, 64 out per
// block of kPixels.
template <int32_t kPixels>
int32_t AppendFourth(const uint8_t* const* src, uint8_t* const* tar, int32_t width, const Mask& shuffle, V fill) {
  constexpr int32_t kStep = kPixels * kLanes;
  const int32_t n = width - width % kStep;
  const V m = Broadcast(shuffle);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += 64 * kLanes) {
    const V a = LoadBlock(s, 48), b = LoadBlock(s + 16, 48), c = LoadBlock(s + 32, 48);
    const V out[4] = {Or(Shuffle(a, m), fill), Or(Shuffle(AlignR<12>(b, a), m), fill),
                      Or(Shuffle(AlignR<8>(c, b), m), fill), Or(Shuffle(ByteShiftRight<4>(c), m), fill)};
    StoreBlocks<4>(t, 64, out);
  }
  return n;
}

// (B + 2 G + R) >> 2 of pixels whose four bytes are weighted by `weights` (one weight 0).
int32_t Weighted4ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width, V weights) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 64 * kLanes, t += kStep) {
    const V s0 = Maddubs(LoadBlock(s, 64), weights), s1 = Maddubs(LoadBlock(s + 16, 64), weights);
    const V s2 = Maddubs(LoadBlock(s + 32, 64), weights), s3 = Maddubs(LoadBlock(s + 48, 64), weights);
    StoreBlock(t, 16, PackUS16(Srli16<2>(Hadd16(s0, s1)), Srli16<2>(Hadd16(s2, s3))));
  }
  return n;
}

// 16 pixels per lane of V U Y A bytes to V, U, Y registers.
inline void SplitVuya(const uint8_t* p, V group, V& v, V& u, V& y) {
  const V t0 = Shuffle(LoadBlock(p, 64), group), t1 = Shuffle(LoadBlock(p + 16, 64), group);
  const V t2 = Shuffle(LoadBlock(p + 32, 64), group), t3 = Shuffle(LoadBlock(p + 48, 64), group);
  const V vu01 = UnpackLo32(t0, t1), vu23 = UnpackLo32(t2, t3);
  const V ya01 = UnpackHi32(t0, t1), ya23 = UnpackHi32(t2, t3);
  v = UnpackLo64(vu01, vu23);
  u = UnpackHi64(vu01, vu23);
  y = UnpackLo64(ya01, ya23);
}

// Rows that only move bytes. Byte k of a block of kOutBytes comes from byte source(k) of a block
// of kInBytes (-1: none, left to the fill); the masks per (output, input) register pair say which
// input bytes each output register takes, and unused pairs cost nothing.
template <int kInBytes, int kOutBytes>
struct ByteMoves {
  static constexpr int kIn = kInBytes / 16, kOut = kOutBytes / 16;
  std::array<Mask, kIn * kOut> masks{};
  std::array<bool, kIn * kOut> used{};
};

template <int kInBytes, int kOutBytes, class Source>
constexpr ByteMoves<kInBytes, kOutBytes> MakeMoves(Source source) {
  ByteMoves<kInBytes, kOutBytes> moves{};
  for (int o = 0; o < kOutBytes / 16; ++o) {
    for (int i = 0; i < kInBytes / 16; ++i) {
      for (int j = 0; j < 16; ++j) {
        const int from = source(16 * o + j) - 16 * i;
        const bool here = from >= 0 && from < 16 && source(16 * o + j) >= 0;
        moves.masks[o * (kInBytes / 16) + i][j] = here ? static_cast<int8_t>(from) : kZero;
        moves.used[o * (kInBytes / 16) + i] = moves.used[o * (kInBytes / 16) + i] || here;
      }
    }
  }
  return moves;
}

// The output registers of one block per lane from its input registers.
template <const auto& kMoves>
struct Mover {
  static constexpr int kIn = std::remove_cvref_t<decltype(kMoves)>::kIn;
  static constexpr int kOut = std::remove_cvref_t<decltype(kMoves)>::kOut;
  V masks[kIn * kOut];
  Mover() {
    for (int i = 0; i < kIn * kOut; ++i) masks[i] = Broadcast(kMoves.masks[i]);
  }
  void Move(const V* in, V* out, V fill) const {
    for (int o = 0; o < kOut; ++o) {
      V r = fill;
      for (int i = 0; i < kIn; ++i) {
        if (kMoves.used[o * kIn + i]) r = Or(r, Shuffle(in[i], masks[o * kIn + i]));
      }
      out[o] = r;
    }
  }
};

template <int kPixels, const auto& kMoves>
int32_t MoveBytes(const uint8_t* const* src, uint8_t* const* tar, int32_t width, V fill) {
  using M = Mover<kMoves>;
  constexpr int kInBytes = 16 * M::kIn, kOutBytes = 16 * M::kOut;
  constexpr int32_t kStep = kPixels * kLanes;
  const int32_t n = width - width % kStep;
  const M mover;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += kInBytes * kLanes, t += kOutBytes * kLanes) {
    V in[M::kIn], out[M::kOut];
    for (int i = 0; i < M::kIn; ++i) in[i] = LoadBlock(s + 16 * i, kInBytes);
    mover.Move(in, out, fill);
    StoreBlocks<M::kOut>(t, kOutBytes, out);
  }
  return n;
}

// Y0 U Y1 V pairs -> V U Y [A] pixels. (The three-byte form stays on SSSE3 on AVX2 machines too:
// there its 48-byte blocks split every store in two and measured slower.)
constexpr int PackedSource(int p, int c) { return c == 0 ? 4 * (p / 2) + 3 : (c == 1 ? 4 * (p / 2) + 1 : 4 * (p / 2) + 2 * (p % 2)); }
constexpr auto kUnpack8 = MakeMoves<32, 48>([](int k) { return PackedSource(k / 3, k % 3); });
constexpr auto kUnpack8Opaque = MakeMoves<32, 64>([](int k) { return k % 4 == 3 ? -1 : PackedSource(k / 4, k % 4); });
// Y0 U Y1 V words -> V U Y [A] words, 8 pixels per block.
constexpr int PackedWordSource(int k, int pixelBytes) {
  const int p = k / pixelBytes, c = (k % pixelBytes) / 2, byte = k % 2;
  return c == 3 ? -1 : 2 * PackedSource(p, c) + byte;
}
constexpr auto kUnpack10 = MakeMoves<32, 48>([](int k) { return PackedWordSource(k, 6); });
constexpr auto kUnpack10Opaque = MakeMoves<32, 64>([](int k) { return PackedWordSource(k, 8); });

// Widens 10-bit samples to 16 bits, (s << 6) | (s & 0x3F), then moves the words.
template <const auto& kMoves>
int32_t WidenAndMove10(const uint8_t* const* src, uint8_t* const* tar, int32_t width, V fill) {
  using M = Mover<kMoves>;
  constexpr int kOutBytes = 16 * M::kOut;
  constexpr int32_t kStep = 8 * kLanes;
  const int32_t n = width - width % kStep;
  const M mover;
  const V sample = Set16(0x3FF), low6 = Set16(0x3F);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 32 * kLanes, t += kOutBytes * kLanes) {
    V in[2], out[M::kOut];
    for (int i = 0; i < 2; ++i) {
      const V w = And(LoadBlock(s + 16 * i, 32), sample);
      in[i] = Or(Slli16<6>(w), And(w, low6));
    }
    mover.Move(in, out, fill);
    StoreBlocks<M::kOut>(t, kOutBytes, out);
  }
  return n;
}

// V U Y A words of 8 pixels -> registers of V, U and Y words.
constexpr auto kSplitVuya16 = MakeMoves<64, 48>([](int k) { return 8 * ((k % 16) / 2) + 2 * (k / 16) + k % 2; });

// V U Y [A] words of 8 pixels -> per output register of 2 pairs, Y0 U Y1 V words taking U and V
// from the first pixel of each pair, then the same from the second one (luma in both).
template <int kIn>
constexpr auto kPackSplit16 = MakeMoves<8 * kIn, 64>([](int k) {
  const int reg = k / 16, j = k % 16, which = reg % 2, word = j / 2, q = word % 4;
  const int pair = 2 * (reg / 2) + word / 4;
  const int pixel = 2 * pair + (q == 0 ? 0 : (q == 2 ? 1 : which));
  const int channel = q == 1 ? 1 : (q == 3 ? 0 : 2);
  return kIn * pixel + 2 * channel + j % 2;
});

// The Y byte of 16 pixels of 3 or 4 bytes, the high byte of the Y word of 16 pixels of 6 or 8.
constexpr auto kYOf3 = MakeMoves<48, 16>([](int k) { return 3 * k + 2; });
constexpr auto kYOf4 = MakeMoves<64, 16>([](int k) { return 4 * k + 2; });
constexpr auto kYOf6 = MakeMoves<96, 16>([](int k) { return 6 * k + 5; });
constexpr auto kYOf8 = MakeMoves<128, 16>([](int k) { return 8 * k + 5; });
// V U Y [A] pixels -> per register: luma words of 8 pixels, then (U0 U1 V0 V1) bytes of 4 pairs.
template <int kIn>
constexpr auto kPackSplit = MakeMoves<16 * kIn, 64>([](int k) {
  const int reg = k / 16, j = k % 16;
  if (reg % 2 == 0) {
    const int p = 8 * (reg / 2) + j / 2;  // luma words
    return j % 2 == 0 ? kIn * p + 2 : -1;
  }
  const int pair = 4 * (reg / 2) + j / 4, q = j % 4;  // U0 U1 V0 V1
  return kIn * (2 * pair + q % 2) + (q < 2 ? 1 : 0);
});

// V U Y [A] -> Y0 U Y1 V with chroma averaged over the pair; 16 pixels per lane.
template <int kIn>
int32_t PackPairs8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Mover<kPackSplit<kIn>> mover;
  const V ones = Set8(1), zero = Zero();
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 16 * kIn * kLanes, t += 32 * kLanes) {
    V in[kIn], out[4];
    for (int i = 0; i < kIn; ++i) in[i] = LoadBlock(s + 16 * i, 16 * kIn);
    mover.Move(in, out, zero);
    V packed[2];
    for (int h = 0; h < 2; ++h) packed[h] = Or(out[2 * h], Slli16<8>(Srli16<1>(Maddubs(out[2 * h + 1], ones))));
    StoreBlocks<2>(t, 32, packed);
  }
  return n;
}

}  // namespace

int32_t Unpack8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return MoveBytes<16, kUnpack8>(src, tar, width, Zero());
}
int32_t Unpack8Opaque(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return MoveBytes<16, kUnpack8Opaque>(src, tar, width, Set32(static_cast<int32_t>(0xFF000000u)));
}
int32_t Yuv444_8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return MoveBytes<16, kYOf3>(src, tar, width, Zero());
}
int32_t Yuva444_8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return MoveBytes<16, kYOf4>(src, tar, width, Zero());
}
int32_t Yuv444_16ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return MoveBytes<16, kYOf6>(src, tar, width, Zero());
}
int32_t Yuva444_16ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return MoveBytes<16, kYOf8>(src, tar, width, Zero());
}
int32_t Unpack10(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return WidenAndMove10<kUnpack10>(src, tar, width, Zero());
}
int32_t Unpack10Opaque(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return WidenAndMove10<kUnpack10Opaque>(src, tar, width, Set64(static_cast<int64_t>(0xFFFF000000000000ull)));
}
// 16-bit V U Y [A] -> 10-bit Y0 U Y1 V: Y >> 6 and (a + b) >> 7 of the pair's chroma, which is
// the rounded-up average less the low bit of a ^ b, then >> 6 (the luma averages with itself).
template <int kIn>
int32_t PackPairs10(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 8 * kLanes;
  const int32_t n = width - width % kStep;
  const Mover<kPackSplit16<kIn>> mover;
  const V one = Set16(1);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 8 * kIn * kLanes, t += 32 * kLanes) {
    V in[kIn / 2], ef[4], out[2];
    for (int i = 0; i < kIn / 2; ++i) in[i] = LoadBlock(s + 16 * i, 8 * kIn);
    mover.Move(in, ef, Zero());
    for (int h = 0; h < 2; ++h) {
      const V e = ef[2 * h], f = ef[2 * h + 1];
      out[h] = Srli16<6>(Sub16(AvgU16(e, f), And(Xor(e, f), one)));
    }
    StoreBlocks<2>(t, 32, out);
  }
  return n;
}

int32_t Pack10(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return PackPairs10<6>(src, tar, width); }
int32_t Pack10Alpha(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return PackPairs10<8>(src, tar, width);
}
int32_t Pack8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return PackPairs8<3>(src, tar, width); }
int32_t Pack8Alpha(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return PackPairs8<4>(src, tar, width); }

namespace {
}  // namespace

// Y0 U Y1 V -> B G R B G R; 16 pixels per lane. The (U, V) words of a pair line up with its
// two luma words, so adding the pair's (B, R) terms gives B of the first pixel and R of the
// second, and adding them swapped gives the other two; the join sorts them out.
int32_t Packed8ToBgr(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels(kScatterPairs);
  const YuvConstants k;
  const V lowBytes = Set16(0x00FF);
  const V swapWords = Broadcast(kSwapWords);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 32 * kLanes, t += 48 * kLanes) {
    const V in[2] = {LoadBlock(s, 32), LoadBlock(s + 16, 32)};
    V sum[3][2];
    for (int h = 0; h < 2; ++h) {
      // High bytes are U, V: as words times 256, centred by flipping the top bit.
      const V c256 = Xor(AndNot(lowBytes, in[h]), k.flip);
      const V br = Mulhi16(c256, k.kBR);
      const V g = Mulhi16(c256, k.greenUV);
      const V y = And(in[h], lowBytes);
      sum[0][h] = Add16(y, br);
      sum[1][h] = Add16(y, Shuffle(br, swapWords));
      sum[2][h] = Add16(y, Srai16<7>(Add16(g, Shuffle(g, swapWords))));
    }
    const V out[3] = {PackUS16(sum[0][0], sum[0][1]), PackUS16(sum[1][0], sum[1][1]), PackUS16(sum[2][0], sum[2][1])};
    channels.Join(out, t);
  }
  return n;
}

// 10-bit Y0 U Y1 V words -> B G R bytes; 16 pixels per lane. With the divisor 1024,
// floor((c * k + Y * 256) / 1024) = floor((Y + floor(c * k / 256)) / 4); c = chroma - 512 in
// -512..511 times 64 fits in 16 bits, so floor(c * k / 256) is the high half of (c * 64) * (4 k).
// The green sum needs 18 bits and is made in 32-bit lanes.
int32_t Packed10ToBgr(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels(kScatterPairs);
  const V sample = Set32(0x3FF), center = Set16(512);
  const V kBR = Set32((358 * 4) << 16 | (453 * 4));
  const V kG = Set32(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(-182)) << 16 |
                                          static_cast<uint16_t>(-87)));
  const V lowWords = Set32(0x0000FFFF);
  const V swapWords = Broadcast(kSwapWords);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 64 * kLanes, t += 48 * kLanes) {
    V sum[3][2];
    for (int h = 0; h < 2; ++h) {
      const V a = LoadBlock(s + 32 * h, 64), b = LoadBlock(s + 32 * h + 16, 64);
      // Luma words of 8 pixels, centred (U, V) words of their 4 pairs.
      const V y = PackS32(And(a, sample), And(b, sample));
      const V c = Sub16(PackS32(And(Srli32<16>(a), sample), And(Srli32<16>(b), sample)), center);
      const V br = Mulhi16(Slli16<6>(c), kBR);
      const V g32 = Srai32<8>(Madd16(c, kG));
      const V g = Or(And(g32, lowWords), Slli32<16>(g32));
      sum[0][h] = Srai16<2>(Add16(y, br));
      sum[1][h] = Srai16<2>(Add16(y, Shuffle(br, swapWords)));
      sum[2][h] = Srai16<2>(Add16(y, g));
    }
    const V out[3] = {PackUS16(sum[0][0], sum[0][1]), PackUS16(sum[1][0], sum[1][1]), PackUS16(sum[2][0], sum[2][1])};
    channels.Join(out, t);
  }
  return n;
}

// 16-bit V U Y A words, taken to 10 bits (>> 6), -> B G R bytes; 16 pixels per lane, with the
// 10-bit arithmetic of Packed10ToBgr per pixel.
int32_t Yuva444_16ToBgr(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const Mover<kSplitVuya16> split;
  const V center = Set16(512), kB = Set16(453 * 4), kR = Set16(358 * 4);
  const V kG = Set32(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(-182)) << 16 |
                                          static_cast<uint16_t>(-87)));
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 128 * kLanes, t += 48 * kLanes) {
    V sum[3][2];
    for (int h = 0; h < 2; ++h) {
      V in[4], vuy[3];
      for (int i = 0; i < 4; ++i) in[i] = LoadBlock(s + 64 * h + 16 * i, 128);
      split.Move(in, vuy, Zero());
      const V v = Sub16(Srli16<6>(vuy[0]), center), u = Sub16(Srli16<6>(vuy[1]), center), y = Srli16<6>(vuy[2]);
      const V g = PackS32(Srai32<8>(Madd16(UnpackLo16(u, v), kG)), Srai32<8>(Madd16(UnpackHi16(u, v), kG)));
      sum[0][h] = Srai16<2>(Add16(y, Mulhi16(Slli16<6>(u), kB)));
      sum[1][h] = Srai16<2>(Add16(y, g));
      sum[2][h] = Srai16<2>(Add16(y, Mulhi16(Slli16<6>(v), kR)));
    }
    const V out[3] = {PackUS16(sum[0][0], sum[0][1]), PackUS16(sum[1][0], sum[1][1]), PackUS16(sum[2][0], sum[2][1])};
    channels.Join(out, t);
  }
  return n;
}

int32_t Yuv444_8ToBgr(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const YuvConstants k;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += 48 * kLanes) {
    V vuy[3], bgr[3];
    channels.Split(s, vuy);
    YuvToBgr16(k, vuy[0], vuy[1], vuy[2], bgr);
    channels.Join(bgr, t);
  }
  return n;
}

int32_t Yuva444_8ToBgr(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const YuvConstants k;
  const V group = Broadcast(kGroupBy4th);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 64 * kLanes, t += 48 * kLanes) {
    V v, u, y, bgr[3];
    SplitVuya(s, group, v, u, y);
    YuvToBgr16(k, v, u, y, bgr);
    channels.Join(bgr, t);
  }
  return n;
}

// B G R -> Y0 U Y1 V with the pair's chroma averaged; 16 pixels per lane.
int32_t BgrToPacked8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const RgbConstants k;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += 32 * kLanes) {
    V bgr[3];
    channels.Split(s, bgr);
    const Yuv16<8> c(k, bgr);
    const V u = PairAverage(c.u), v = PairAverage(c.v);
    const V out[2] = {Or(c.y[0], Slli16<8>(UnpackLo16(u, v))), Or(c.y[1], Slli16<8>(UnpackHi16(u, v)))};
    StoreBlocks<2>(t, 32, out);
  }
  return n;
}

// The same to 10-bit words.
int32_t BgrToPacked10(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const RgbConstants k;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += 64 * kLanes) {
    V bgr[3];
    channels.Split(s, bgr);
    const Yuv16<6> c(k, bgr);
    const V u = PairAverage(c.u), v = PairAverage(c.v);
    const V uvLo = UnpackLo16(u, v), uvHi = UnpackHi16(u, v);
    const V out[4] = {UnpackLo16(c.y[0], uvLo), UnpackHi16(c.y[0], uvLo), UnpackLo16(c.y[1], uvHi),
                      UnpackHi16(c.y[1], uvHi)};
    StoreBlocks<4>(t, 64, out);
  }
  return n;
}

int32_t BgrToYuv444_8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const RgbConstants k;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += 48 * kLanes) {
    V bgr[3];
    channels.Split(s, bgr);
    const Yuv16<8> c(k, bgr);
    const V vuy[3] = {PackUS16(c.v[0], c.v[1]), PackUS16(c.u[0], c.u[1]), PackUS16(c.y[0], c.y[1])};
    channels.Join(vuy, t);
  }
  return n;
}

int32_t BgrToYuva444_8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const RgbConstants k;
  const V opaque = Set8(-1);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += 64 * kLanes) {
    V bgr[3];
    channels.Split(s, bgr);
    const Yuv16<8> c(k, bgr);
    const V v = PackUS16(c.v[0], c.v[1]), u = PackUS16(c.u[0], c.u[1]), y = PackUS16(c.y[0], c.y[1]);
    const V vuLo = UnpackLo8(v, u), vuHi = UnpackHi8(v, u);
    const V yaLo = UnpackLo8(y, opaque), yaHi = UnpackHi8(y, opaque);
    const V out[4] = {UnpackLo16(vuLo, yaLo), UnpackHi16(vuLo, yaLo), UnpackLo16(vuHi, yaHi), UnpackHi16(vuHi, yaHi)};
    StoreBlocks<4>(t, 64, out);
  }
  return n;
}

int32_t Append4thByte(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return AppendFourth<16>(src, tar, width, kAppend4th, Set32(static_cast<int32_t>(0xFF000000u)));
}

int32_t Append4thWord(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return AppendFourth<8>(src, tar, width, kAppend4thWord, Set64(static_cast<int64_t>(0xFFFF000000000000ull)));
}

int32_t Drop4thByte(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const V m = Broadcast(kDrop4th);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 64 * kLanes, t += 48 * kLanes) {
    const V a = Shuffle(LoadBlock(s, 64), m), b = Shuffle(LoadBlock(s + 16, 64), m);
    const V c = Shuffle(LoadBlock(s + 32, 64), m), d = Shuffle(LoadBlock(s + 48, 64), m);
    const V out[3] = {Or(a, ByteShiftLeft<12>(b)), Or(ByteShiftRight<4>(b), ByteShiftLeft<8>(c)),
                      Or(ByteShiftRight<8>(c), ByteShiftLeft<4>(d))};
    StoreBlocks<3>(t, 48, out);
  }
  return n;
}

int32_t Reverse4Bytes(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 4 * kLanes;
  const int32_t n = width - width % kStep;
  const V m = Broadcast(kReverse4);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 16 * kLanes, t += 16 * kLanes) StoreBlock(t, 16, Shuffle(LoadBlock(s, 16), m));
  return n;
}

// Four words per pixel, reversed, each to its high byte; 4 pixels per lane.
int32_t ReverseNarrow4(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 4 * kLanes;
  const int32_t n = width - width % kStep;
  const V lo = Broadcast(kReverseHighBytesLo), hi = Broadcast(kReverseHighBytesHi);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 32 * kLanes, t += 16 * kLanes) {
    StoreBlock(t, 16, Or(Shuffle(LoadBlock(s, 32), lo), Shuffle(LoadBlock(s + 16, 32), hi)));
  }
  return n;
}

// Four bytes per pixel, reversed, each to the word v * 257; 4 pixels per lane.
int32_t ReverseWiden4(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 4 * kLanes;
  const int32_t n = width - width % kStep;
  const V lo = Broadcast(kReverseWidenLo), hi = Broadcast(kReverseWidenHi);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 16 * kLanes, t += 32 * kLanes) {
    const V a = LoadBlock(s, 16);
    const V out[2] = {Shuffle(a, lo), Shuffle(a, hi)};
    StoreBlocks<2>(t, 32, out);
  }
  return n;
}

int32_t Bgr8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const Channels3 channels;
  const V zero = Zero();
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 48 * kLanes, t += kStep) {
    V bgr[3], out[2];
    channels.Split(s, bgr);
    for (int h = 0; h < 2; ++h) {
      const V b = h ? UnpackHi8(bgr[0], zero) : UnpackLo8(bgr[0], zero);
      const V g = h ? UnpackHi8(bgr[1], zero) : UnpackLo8(bgr[1], zero);
      const V r = h ? UnpackHi8(bgr[2], zero) : UnpackLo8(bgr[2], zero);
      out[h] = Srli16<2>(Add16(Add16(b, r), Add16(g, g)));
    }
    StoreBlock(t, 16, PackUS16(out[0], out[1]));
  }
  return n;
}

// (B + 2 G + R) >> 10 of 16-bit words; 16 pixels per lane. Words taken as signed after flipping
// their top bit are w - 32768, so the weighted sums in 32-bit lanes come out 4 * 32768 low.
int32_t Weighted16ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width, V weights) {
  constexpr int32_t kStep = 16 * kLanes;
  const int32_t n = width - width % kStep;
  const V flip = Set16(static_cast<int16_t>(0x8000)), offset = Set32(4 * 32768);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += kStep, s += 128 * kLanes, t += kStep) {
    V sums[4];
    for (int i = 0; i < 4; ++i) {
      const V a = Madd16(Xor(LoadBlock(s + 32 * i, 128), flip), weights);
      const V b = Madd16(Xor(LoadBlock(s + 32 * i + 16, 128), flip), weights);
      sums[i] = Srli32<10>(Add32(Hadd32(a, b), offset));
    }
    StoreBlock(t, 16, PackUS16(PackS32(sums[0], sums[1]), PackS32(sums[2], sums[3])));
  }
  return n;
}

int32_t Bgra16ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return Weighted16ToMono(src, tar, width, Set64(0x0000000100020001));
}

int32_t Argb16ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return Weighted16ToMono(src, tar, width, Set64(0x0001000200010000));
}

int32_t Bgra8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return Weighted4ToMono(src, tar, width, Set32(0x00010201));
}

int32_t Argb8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return Weighted4ToMono(src, tar, width, Set32(0x01020100));
}
