#include "engine/sample_kernels_simd.h"

#include <atomic>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace auralune {

#if defined(__x86_64__)

namespace {

std::atomic<VectorLevel> gLimit{VectorLevel::Avx2};

bool vectors() { return gLimit.load(std::memory_order_relaxed) != VectorLevel::Scalar; }

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have && gLimit.load(std::memory_order_relaxed) == VectorLevel::Avx2;
}

// Baseline: 16-bit samples, eight at a time. Sign extension by placing each
// sample in the high half of a 32-bit lane and shifting it down.
std::uint64_t decode16Sse2(const std::uint8_t* bytes, double* out, std::uint64_t count)
{
    std::uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
        const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_pd(out + i, _mm_cvtepi32_pd(low));
        _mm_storeu_pd(out + i + 2, _mm_cvtepi32_pd(_mm_srli_si128(low, 8)));
        _mm_storeu_pd(out + i + 4, _mm_cvtepi32_pd(high));
        _mm_storeu_pd(out + i + 6, _mm_cvtepi32_pd(_mm_srli_si128(high, 8)));
    }
    return i;
}

[[gnu::target("avx2")]] std::uint64_t decode16Avx2(const std::uint8_t* bytes, double* out, std::uint64_t count)
{
    std::uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i v = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i)));
        _mm256_storeu_pd(out + i, _mm256_cvtepi32_pd(_mm256_castsi256_si128(v)));
        _mm256_storeu_pd(out + i + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)));
    }
    return i;
}

// 24-bit samples, four at a time: the three bytes of each go to the top of
// a 32-bit lane and an arithmetic shift brings them down sign-extended. A
// load reads 16 bytes of which 12 are used, so the loop stops while 16
// remain.
[[gnu::target("avx2")]] std::uint64_t decode24Avx2(const std::uint8_t* bytes, double* out, std::uint64_t count)
{
    const __m128i spread = _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
    std::uint64_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 3 * i));
        const __m128i words = _mm_srai_epi32(_mm_shuffle_epi8(v, spread), 8);
        _mm256_storeu_pd(out + i, _mm256_cvtepi32_pd(words));
    }
    return i;
}

// floor(x + 0.5) within [low, high] as 32-bit integers: min and max with the
// sample first, so a NaN sample yields the bound (as fmin and fmax do), then
// truncation corrected to floor.
inline __m128i roundHalfUpSse2(__m128d x, __m128d high, __m128d low)
{
    const __m128d y = _mm_add_pd(_mm_max_pd(_mm_min_pd(x, high), low), _mm_set1_pd(0.5));
    const __m128i t = _mm_cvttpd_epi32(y);
    const __m128i above = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(t), y));
    // The comparison gives two 64-bit masks; their low halves line up with t.
    return _mm_add_epi32(t, _mm_shuffle_epi32(above, _MM_SHUFFLE(3, 3, 2, 0)));
}

std::uint64_t encode16Sse2(const double* in, double high, double low, std::uint8_t* out, std::uint64_t count)
{
    const __m128d h = _mm_set1_pd(high), l = _mm_set1_pd(low);
    std::uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_unpacklo_epi64(roundHalfUpSse2(_mm_loadu_pd(in + i), h, l),
                                             roundHalfUpSse2(_mm_loadu_pd(in + i + 2), h, l));
        const __m128i b = _mm_unpacklo_epi64(roundHalfUpSse2(_mm_loadu_pd(in + i + 4), h, l),
                                             roundHalfUpSse2(_mm_loadu_pd(in + i + 6), h, l));
        // The values are within 16 bits, so the saturating pack only narrows.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(a, b));
    }
    return i;
}

[[gnu::target("avx2")]] inline __m128i roundHalfUpAvx2(__m256d x, __m256d high, __m256d low)
{
    const __m256d y = _mm256_add_pd(_mm256_max_pd(_mm256_min_pd(x, high), low), _mm256_set1_pd(0.5));
    const __m128i t = _mm256_cvttpd_epi32(y);
    const __m256d above = _mm256_cmp_pd(_mm256_cvtepi32_pd(t), y, _CMP_GT_OQ);
    const __m128i mask = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(_mm256_castpd_si256(above), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    return _mm_add_epi32(t, mask);
}

[[gnu::target("avx2")]] std::uint64_t encode16Avx2(const double* in, double high, double low, std::uint8_t* out,
                                                   std::uint64_t count)
{
    const __m256d h = _mm256_set1_pd(high), l = _mm256_set1_pd(low);
    std::uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i a = roundHalfUpAvx2(_mm256_loadu_pd(in + i), h, l);
        const __m128i b = roundHalfUpAvx2(_mm256_loadu_pd(in + i + 4), h, l);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(a, b));
    }
    return i;
}

// Four samples into 12 bytes: the low three bytes of each lane, packed. The
// store writes 16 bytes, so the loop stops while 16 remain in `out`.
[[gnu::target("avx2")]] std::uint64_t encode24Avx2(const double* in, double high, double low, std::uint8_t* out,
                                                   std::uint64_t count)
{
    const __m256d h = _mm256_set1_pd(high), l = _mm256_set1_pd(low);
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::uint64_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i words = roundHalfUpAvx2(_mm256_loadu_pd(in + i), h, l);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), _mm_shuffle_epi8(words, pack));
    }
    return i;
}

// max(|x|, peak) with the sample first: a NaN sample leaves the peak, as
// std::max(peak, fabs(x)) does. Comparisons with a NaN are false, so it
// counts for neither bound.
std::uint64_t scanSse2(const double* x, std::uint64_t count, double high, double low, std::uint64_t& outOfRange,
                       double& peak)
{
    const __m128d h = _mm_set1_pd(high), l = _mm_set1_pd(low);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
    __m128d top = _mm_set1_pd(peak);
    __m128i over = _mm_setzero_si128();
    std::uint64_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128d v = _mm_loadu_pd(x + i);
        top = _mm_max_pd(_mm_and_pd(v, magnitude), top);
        // Each true comparison is -1 in its 64-bit lane.
        over = _mm_sub_epi64(over, _mm_castpd_si128(_mm_cmpgt_pd(v, h)));
        over = _mm_sub_epi64(over, _mm_castpd_si128(_mm_cmplt_pd(v, l)));
    }
    alignas(16) double tops[2];
    alignas(16) std::uint64_t overs[2];
    _mm_store_pd(tops, top);
    _mm_store_si128(reinterpret_cast<__m128i*>(overs), over);
    for (double t : tops)
        peak = peak < t ? t : peak;
    outOfRange += overs[0] + overs[1];
    return i;
}

[[gnu::target("avx2")]] std::uint64_t scanAvx2(const double* x, std::uint64_t count, double high, double low,
                                               std::uint64_t& outOfRange, double& peak)
{
    const __m256d h = _mm256_set1_pd(high), l = _mm256_set1_pd(low);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
    __m256d top = _mm256_set1_pd(peak);
    __m256i over = _mm256_setzero_si256();
    std::uint64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d v = _mm256_loadu_pd(x + i);
        top = _mm256_max_pd(_mm256_and_pd(v, magnitude), top);
        over = _mm256_sub_epi64(over, _mm256_castpd_si256(_mm256_cmp_pd(v, h, _CMP_GT_OQ)));
        over = _mm256_sub_epi64(over, _mm256_castpd_si256(_mm256_cmp_pd(v, l, _CMP_LT_OQ)));
    }
    alignas(32) double tops[4];
    alignas(32) std::uint64_t overs[4];
    _mm256_store_pd(tops, top);
    _mm256_store_si256(reinterpret_cast<__m256i*>(overs), over);
    for (double t : tops)
        peak = peak < t ? t : peak;
    outOfRange += overs[0] + overs[1] + overs[2] + overs[3];
    return i;
}

}  // namespace

VectorLevel limitVectorLevel(VectorLevel level) { return gLimit.exchange(level); }

std::uint64_t decodeLittleVector(const std::uint8_t* bytes, std::uint32_t bytesPerSample, double* out,
                                 std::uint64_t count)
{
    if (!vectors())
        return 0;
    if (bytesPerSample == 2)
        return haveAvx2() ? decode16Avx2(bytes, out, count) : decode16Sse2(bytes, out, count);
    if (bytesPerSample == 3 && haveAvx2())
        return decode24Avx2(bytes, out, count);
    return 0;
}

std::uint64_t encodeLittleVector(const double* in, std::uint32_t bytesPerSample, double high, double low,
                                 std::uint8_t* out, std::uint64_t count)
{
    if (!vectors())
        return 0;
    if (bytesPerSample == 2 && high <= 32767 && low >= -32768)
        return haveAvx2() ? encode16Avx2(in, high, low, out, count) : encode16Sse2(in, high, low, out, count);
    if (bytesPerSample == 3 && high <= 8388607 && low >= -8388608 && haveAvx2())
        return encode24Avx2(in, high, low, out, count);
    return 0;
}

std::uint64_t scanClippingVector(const double* samples, std::uint64_t count, double high, double low,
                                 std::uint64_t& outOfRange, double& peak)
{
    if (!vectors())
        return 0;
    return haveAvx2() ? scanAvx2(samples, count, high, low, outOfRange, peak)
                      : scanSse2(samples, count, high, low, outOfRange, peak);
}

#else

VectorLevel limitVectorLevel(VectorLevel) { return VectorLevel::Scalar; }
std::uint64_t decodeLittleVector(const std::uint8_t*, std::uint32_t, double*, std::uint64_t) { return 0; }
std::uint64_t encodeLittleVector(const double*, std::uint32_t, double, double, std::uint8_t*, std::uint64_t)
{
    return 0;
}
std::uint64_t scanClippingVector(const double*, std::uint64_t, double, double, std::uint64_t&, double&) { return 0; }

#endif

}  // namespace auralune
