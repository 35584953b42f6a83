#include "engine/sample_kernels.h"
#include "engine/sample_kernels_simd.h"

#include "platform/random_source.h"

#include <array>

#include <algorithm>
#include <cmath>

namespace auralune {

namespace {

// Runs body(begin, end) over [0, items) in runs of progress.step items and
// advances the progress after each whole run, so the inner loops stay free
// of progress bookkeeping.
template <class Body>
void forEachStep(std::uint64_t items, Progress& progress, Body&& body)
{
    const std::uint64_t step = std::max<std::uint64_t>(progress.step, 1);
    std::uint64_t begin = 0;
    while (items - begin >= step) {
        body(begin, begin + step);
        begin += step;
        progress.advance();
    }
    if (begin < items)
        body(begin, items);
}

template <std::uint32_t Bytes, bool BigEndian>
inline std::int32_t decodeSample(const std::uint8_t* p)
{
    if constexpr (Bytes == 2) {
        const std::uint32_t u = BigEndian ? (std::uint32_t{p[0]} << 8 | p[1]) : (std::uint32_t{p[1]} << 8 | p[0]);
        return static_cast<std::int16_t>(u);
    } else {
        const std::uint32_t u = BigEndian ? (std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2])
                                          : (std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
        return static_cast<std::int32_t>(u ^ 0x800000u) - 0x800000;
    }
}

template <std::uint32_t Bytes, bool BigEndian>
inline void encodeSample(std::int32_t value, std::uint8_t* p)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (std::uint32_t k = 0; k < Bytes; ++k)
        p[k] = static_cast<std::uint8_t>(u >> (BigEndian ? 8 * (Bytes - 1 - k) : 8 * k));
}

template <std::uint32_t Bytes, bool BigEndian>
void decodeAll(const std::uint8_t* bytes, std::span<double> out, Progress& progress)
{
    forEachStep(out.size(), progress, [&](std::uint64_t begin, std::uint64_t end) {
        std::uint64_t i = begin;
        if constexpr (!BigEndian)
            i += decodeLittleVector(bytes + begin * Bytes, Bytes, out.data() + begin, end - begin);
        const std::uint8_t* p = bytes + i * Bytes;
        for (; i < end; ++i, p += Bytes)
            out[i] = decodeSample<Bytes, BigEndian>(p);
    });
}

// floor(x + 0.5) within [low, high]. Clamping first keeps the value inside
// 32 bits; then truncation corrects to floor without a library call.
inline std::int32_t roundHalfUp(double x, double high, double low)
{
    const double y = std::fmax(std::fmin(x, high), low) + 0.5;
    const auto t = static_cast<std::int64_t>(y);
    return static_cast<std::int32_t>(t - (static_cast<double>(t) > y));
}

template <std::uint32_t Bytes, bool BigEndian>
void encodeAll(std::span<const double> in, const ChannelSelection& sel, double high, double low,
               std::span<std::uint8_t> out, Progress& progress)
{
    const std::uint64_t frames = in.size() / sel.channels;
    if (!BigEndian && sel.start == 0 && sel.count == sel.channels) {
        // Every channel written: the frames are one run of samples.
        forEachStep(frames, progress, [&](std::uint64_t begin, std::uint64_t end) {
            const std::uint64_t first = begin * sel.channels;
            const std::uint64_t count = (end - begin) * sel.channels;
            const double* src = in.data() + first;
            std::uint8_t* dst = out.data() + first * Bytes;
            std::uint64_t i = encodeLittleVector(src, Bytes, high, low, dst, count);
            for (; i < count; ++i)
                encodeSample<Bytes, BigEndian>(roundHalfUp(src[i], high, low), dst + i * Bytes);
        });
        return;
    }
    forEachStep(frames, progress, [&](std::uint64_t begin, std::uint64_t end) {
        const double* src = in.data() + begin * sel.channels + sel.start;
        std::uint8_t* dst = out.data() + begin * sel.count * Bytes;
        for (std::uint64_t f = begin; f < end; ++f, src += sel.channels)
            for (std::uint32_t c = 0; c < sel.count; ++c, dst += Bytes)
                encodeSample<Bytes, BigEndian>(roundHalfUp(src[c], high, low), dst);
    });
}

}  // namespace

bool integerToDouble(std::span<const std::uint8_t> bytes, std::uint32_t bytesPerSample, int order,
                     std::span<double> out, Progress& progress)
{
    if ((bytesPerSample != 2 && bytesPerSample != 3) || (order != kEndianBig && order != kEndianLittle))
        return false;
    if (bytes.size() / bytesPerSample < out.size())
        return false;
    const bool big = order == kEndianBig;
    if (bytesPerSample == 2)
        big ? decodeAll<2, true>(bytes.data(), out, progress) : decodeAll<2, false>(bytes.data(), out, progress);
    else
        big ? decodeAll<3, true>(bytes.data(), out, progress) : decodeAll<3, false>(bytes.data(), out, progress);
    return true;
}

void scaleSamples(std::span<double> samples, double factor, Progress& progress)
{
    forEachStep(samples.size(), progress, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i)
            samples[i] *= factor;
    });
}

void addDither(std::span<double> samples, RandomSource& random, Progress& progress)
{
    double previous = 0.0;
    std::array<std::uint32_t, 4096> block;
    forEachStep(samples.size(), progress, [&](std::uint64_t begin, std::uint64_t end) {
        while (begin < end) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, block.size()));
            random.fill(std::span(block.data(), count));
            for (std::size_t k = 0; k < count; ++k) {
                const double r = static_cast<double>(block[k]) * 0x1p-32 - 0.5;
                samples[begin + k] += r - previous;
                previous = r;
            }
            begin += count;
        }
    });
}

ClipScan scanClipping(std::span<const double> samples, std::uint32_t channels, double high, double low,
                      Progress& progress)
{
    ClipScan scan;
    if (channels == 0)
        return scan;
    const std::uint64_t frames = samples.size() / channels;
    forEachStep(frames, progress, [&](std::uint64_t begin, std::uint64_t end) {
        std::uint64_t count = 0;
        double peak = scan.peak;
        std::uint64_t i = begin * channels;
        i += scanClippingVector(samples.data() + i, end * channels - i, high, low, count, peak);
        for (; i < end * channels; ++i) {
            const double x = samples[i];
            count += static_cast<std::uint64_t>(x > high) + static_cast<std::uint64_t>(x < low);
            peak = std::max(peak, std::fabs(x));
        }
        scan.outOfRange += count;
        scan.peak = peak;
    });
    return scan;
}

ClipMeasure measureClipping(const ClipScan& scan, std::uint64_t sampleCount, double high)
{
    ClipMeasure measure;
    measure.percent =
        sampleCount == 0 ? 0.0 : static_cast<double>(scan.outOfRange) * 100.0 / static_cast<double>(sampleCount);
    measure.factor = scan.peak / high;
    measure.dB = 20.0 * std::log10(measure.factor);
    return measure;
}

void clampSamples(std::span<double> samples, double high, double low, Progress& progress)
{
    forEachStep(samples.size(), progress, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i)
            samples[i] = std::clamp(samples[i], low, high);
    });
}

void attenuateSamples(std::span<double> samples, double factor, Progress& progress)
{
    forEachStep(samples.size(), progress, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i)
            samples[i] /= factor;
    });
}

bool doubleToInteger(std::span<const double> in, const ChannelSelection& selection, std::uint32_t sampleBits,
                     std::uint32_t bytesPerSample, int order, std::span<std::uint8_t> out, Progress& progress)
{
    if ((bytesPerSample != 2 && bytesPerSample != 3 && bytesPerSample != 4) ||
        (order != kEndianBig && order != kEndianLittle))
        return false;
    if (sampleBits < 2 || sampleBits > 8 * bytesPerSample)
        return false;
    if (selection.channels == 0 || selection.count == 0 ||
        std::uint64_t{selection.start} + selection.count > selection.channels || in.size() % selection.channels != 0)
        return false;
    const std::uint64_t frames = in.size() / selection.channels;
    if (out.size() != frames * selection.count * bytesPerSample)
        return false;

    const double high = highestCode(sampleBits);
    const double low = lowestCode(sampleBits);
    const bool big = order == kEndianBig;
    switch (bytesPerSample) {
    case 2:
        big ? encodeAll<2, true>(in, selection, high, low, out, progress)
            : encodeAll<2, false>(in, selection, high, low, out, progress);
        break;
    case 3:
        big ? encodeAll<3, true>(in, selection, high, low, out, progress)
            : encodeAll<3, false>(in, selection, high, low, out, progress);
        break;
    default:
        big ? encodeAll<4, true>(in, selection, high, low, out, progress)
            : encodeAll<4, false>(in, selection, high, low, out, progress);
        break;
    }
    return true;
}

}  // namespace auralune
