#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace auralune::test {

// A benchmark record for declickers: a synthetic piano-like stereo
// recording (decaying, slightly inharmonic notes with a quick attack, each
// panned, over a little white noise) at 24-bit scale, and the same with
// clicks of 1 to 40 samples and amplitudes from −36 to −6 dBFS inserted on
// the left, the right or both channels. Deterministic for a seed.
struct ClickRecord {
    struct Click {
        std::size_t at = 0;
        std::size_t length = 0;
        bool left = false;
        bool right = false;
    };
    double rate = 0;
    std::size_t frames = 0;
    std::vector<double> clean;     // stereo, interleaved
    std::vector<double> clicked;
    std::vector<Click> clicks;
};

inline ClickRecord makeClickRecord(double rate, double seconds, std::size_t clickCount, unsigned seed)
{
    constexpr double kFullScale = 8388608.0;
    constexpr double kTwoPi = 2 * std::numbers::pi;
    ClickRecord record;
    record.rate = rate;
    record.frames = static_cast<std::size_t>(rate * seconds);
    const std::size_t frames = record.frames;
    record.clean.assign(2 * frames, 0.0);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);

    // A note every 0.15 to 0.35 s, 110 to 880 Hz, ten partials.
    for (double start = 0.0; start < seconds; start += 0.15 + 0.2 * uniform(random)) {
        const double f0 = 110.0 * std::pow(2.0, 3.0 * uniform(random));
        const double decay = 0.4 + 0.8 * uniform(random);
        const double pan = 0.3 + 0.97 * uniform(random);
        const double level = 0.05 * kFullScale * (0.5 + uniform(random));
        const auto first = static_cast<std::size_t>(start * rate);
        for (int h = 1; h <= 10; ++h) {
            const double f = f0 * h * std::sqrt(1.0 + 1e-4 * h * h);
            if (f > 0.45 * rate)
                break;
            const double amplitude = level / std::pow(h, 1.2);
            const double rateOfDecay = (1.0 + 0.3 * h) / decay;
            // The partial by a rotating, shrinking phasor.
            const std::complex<double> step = std::polar(std::exp(-rateOfDecay / rate), kTwoPi * f / rate);
            std::complex<double> phasor = std::polar(amplitude, kTwoPi * uniform(random));
            const auto attack = static_cast<std::size_t>(0.002 * rate);
            for (std::size_t n = first; n < frames; ++n) {
                const std::size_t k = n - first;
                const double ramp = k < attack ? 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(k) / static_cast<double>(attack)) : 1.0;
                const double v = ramp * phasor.imag();
                record.clean[2 * n] += v * std::cos(pan);
                record.clean[2 * n + 1] += v * std::sin(pan);
                phasor *= step;
                if (std::norm(phasor) < 1e-8 * amplitude * amplitude)
                    break;   // 80 dB down: below the noise
            }
        }
    }
    for (double& v : record.clean)
        v += 2e-4 * kFullScale * gauss(random);

    // Clicks at least 100 frames apart.
    record.clicked = record.clean;
    std::vector<std::size_t> positions;
    while (positions.size() < clickCount) {
        const auto at = static_cast<std::size_t>(uniform(random) * static_cast<double>(frames - 200)) + 100;
        if (std::none_of(positions.begin(), positions.end(),
                         [at](std::size_t p) { return (at > p ? at - p : p - at) < 100; }))
            positions.push_back(at);
    }
    std::sort(positions.begin(), positions.end());
    for (std::size_t at : positions) {
        ClickRecord::Click click;
        click.at = at;
        click.length = 1 + random() % 40;
        const std::uint32_t which = random() % 3;
        click.left = which != 1;
        click.right = which != 0;
        const double amplitude = kFullScale * std::pow(10.0, (-36.0 + 30.0 * uniform(random)) / 20.0);
        double sign = uniform(random) < 0.5 ? -1.0 : 1.0;
        for (std::size_t k = 0; k < click.length; ++k) {
            if (uniform(random) < 0.3)
                sign = -sign;
            const double v = sign * amplitude * std::exp(-3.0 * static_cast<double>(k) / static_cast<double>(click.length)) *
                             (0.5 + 0.5 * uniform(random));
            if (click.left)
                record.clicked[2 * (at + k)] += v;
            if (click.right)
                record.clicked[2 * (at + k) + 1] += 0.8 * v;
        }
        record.clicks.push_back(click);
    }
    return record;
}

// How well a declicked version of a record matches its clean version.
struct ClickScore {
    std::size_t repaired = 0;   // clicks whose remaining error is 20 dB below the click
    double removedShare = 0;    // share of all click energy removed
    double damageDb = 0;        // RMS error outside the clicks, dB re the clean signal's RMS
};

inline ClickScore scoreDeclicking(const ClickRecord& record, const std::vector<double>& out)
{
    ClickScore score;
    std::vector<bool> inClick(record.clean.size(), false);
    double clickEnergy = 0, leftEnergy = 0;
    for (const ClickRecord::Click& click : record.clicks) {
        double inserted = 0, remaining = 0;
        for (std::size_t k = 0; k < click.length; ++k) {
            for (std::size_t c = 0; c < 2; ++c) {
                if ((c == 0 && !click.left) || (c == 1 && !click.right))
                    continue;
                const std::size_t i = 2 * (click.at + k) + c;
                inClick[i] = true;
                inserted += (record.clicked[i] - record.clean[i]) * (record.clicked[i] - record.clean[i]);
                remaining += (out[i] - record.clean[i]) * (out[i] - record.clean[i]);
            }
        }
        if (remaining <= 0.01 * inserted)
            ++score.repaired;
        clickEnergy += inserted;
        leftEnergy += remaining;
    }
    score.removedShare = 1.0 - leftEnergy / clickEnergy;
    double error = 0, signal = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (inClick[i])
            continue;
        error += (out[i] - record.clean[i]) * (out[i] - record.clean[i]);
        signal += record.clean[i] * record.clean[i];
    }
    score.damageDb = 10 * std::log10(std::max(error, 1e-300) / signal);
    return score;
}

}  // namespace auralune::test
