// Row functions written once for 128-bit lanes and built twice: with one lane on SSSE3 and with
// two lanes on AVX2. Every operation below works inside its lane, so each lane converts its own
// block of pixels; LoadBlock and StoreBlock give lane i the i-th block of the row.
//
// Included inside the namespace of the instruction set, after the lane primitives:
//   V, kLanes, Load/Store (one whole register), LoadBlock/StoreBlock (p, bytes per block),
//   Broadcast(16-byte mask), and V-typed wrappers of the SSE operations.
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
    for (int part = 0; part < 3; ++part) {
      const V* m = scatter + 3 * part;
      StoreBlock(p + 16 * part, 48, Or(Or(Shuffle(in[0], m[0]), Shuffle(in[1], m[1])), Shuffle(in[2], m[2])));
    }
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
    StoreBlock(t, 64, Or(Shuffle(a, m), fill));
    StoreBlock(t + 16, 64, Or(Shuffle(AlignR<12>(b, a), m), fill));
    StoreBlock(t + 32, 64, Or(Shuffle(AlignR<8>(c, b), m), fill));
    StoreBlock(t + 48, 64, Or(Shuffle(ByteShiftRight<4>(c), m), fill));
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
    StoreBlock(t, 32, Or(c.y[0], Slli16<8>(UnpackLo16(u, v))));
    StoreBlock(t + 16, 32, Or(c.y[1], Slli16<8>(UnpackHi16(u, v))));
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
    StoreBlock(t, 64, UnpackLo16(c.y[0], uvLo));
    StoreBlock(t + 16, 64, UnpackHi16(c.y[0], uvLo));
    StoreBlock(t + 32, 64, UnpackLo16(c.y[1], uvHi));
    StoreBlock(t + 48, 64, UnpackHi16(c.y[1], uvHi));
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
    StoreBlock(t, 64, UnpackLo16(vuLo, yaLo));
    StoreBlock(t + 16, 64, UnpackHi16(vuLo, yaLo));
    StoreBlock(t + 32, 64, UnpackLo16(vuHi, yaHi));
    StoreBlock(t + 48, 64, UnpackHi16(vuHi, yaHi));
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
    StoreBlock(t, 48, Or(a, ByteShiftLeft<12>(b)));
    StoreBlock(t + 16, 48, Or(ByteShiftRight<4>(b), ByteShiftLeft<8>(c)));
    StoreBlock(t + 32, 48, Or(ByteShiftRight<8>(c), ByteShiftLeft<4>(d)));
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
    StoreBlock(t, 32, Shuffle(a, lo));
    StoreBlock(t + 16, 32, Shuffle(a, hi));
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

int32_t Bgra8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return Weighted4ToMono(src, tar, width, Set32(0x00010201));
}

int32_t Argb8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  return Weighted4ToMono(src, tar, width, Set32(0x01020100));
}
