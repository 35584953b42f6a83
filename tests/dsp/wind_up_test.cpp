#include "dsp/filter_primitives.h"
#include "dsp/wind_up_kernels.h"

#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace auralune {
namespace {

using test::SampleJob;

constexpr EnhancementCode kRiaa = 0x800;
constexpr EnhancementCode kAmerican78 = 0x8000000000;
constexpr EnhancementCode kTapeA = 0x2000000000000;
constexpr EnhancementCode kRumbleOnly = 0x80000;

double gainAt(const WindUpKernel& h, double frequency)
{
    std::complex<double> sum = 0;
    for (std::size_t k = 0; k < h.size(); ++k)
        sum += h[k] * std::polar(1.0, -2 * std::numbers::pi * frequency * static_cast<double>(k));
    return std::abs(sum);
}

TEST(WindUpKernels, LowPassResponses)
{
    struct Case {
        double rate;
        int speed;
        double halfAmplitude;   // −6 dB point, relative to the tripled rate
    };
    for (const Case& c : {Case{44100, 3, 0.0635}, Case{48000, 6, 0.12}, Case{96000, 5, 0.0275},
                          Case{88200, 6, 0.0565}}) {
        const WindUpKernel h = *windUpKernel(c.rate, c.speed);
        for (std::size_t k = 0; k < h.size(); ++k)
            EXPECT_EQ(h[k], h[h.size() - 1 - k]);
        EXPECT_NEAR(gainAt(h, 0), 1.0, 1e-12);
        EXPECT_GT(gainAt(h, c.halfAmplitude - 0.001), 0.5) << c.rate << " " << c.speed;
        EXPECT_LT(gainAt(h, c.halfAmplitude + 0.001), 0.5) << c.rate << " " << c.speed;
        for (double f = c.halfAmplitude + 0.06; f <= 0.5; f += 0.001)
            ASSERT_LT(gainAt(h, f), std::pow(10.0, -25.0 / 20)) << c.rate << " " << c.speed << " " << f;
    }
    EXPECT_EQ(*windUpKernel(44100, 4), *windUpKernel(48000, 5));
    EXPECT_NE(*windUpKernel(44100, 4), *windUpKernel(44100, 6));
    EXPECT_FALSE(windUpKernel(32000, 3));
    EXPECT_FALSE(windUpKernel(192000, 3));
}

TEST(WindUpKernels, EqualsZeroStuffingFilteringAndDecimating)
{
    const std::uint64_t frames = 500;
    std::vector<double> in(frames * 2);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = 1000 * std::sin(0.05 * static_cast<double>(i)) + static_cast<double>(i % 7);
    for (const WindUpSpeed& speed : kWindUpSpeeds) {
        const WindUpKernel h = *windUpKernel(96000, speed.captureSpeed);
        std::vector<double> taps(h.begin(), h.end());
        for (double& t : taps)
            t *= 3;
        std::vector<double> stuffed(frames * 3 * 2, 0.0), filtered(frames * 3 * 2);
        for (std::size_t n = 0; n < frames; ++n) {
            stuffed[6 * n] = in[2 * n];
            stuffed[6 * n + 1] = in[2 * n + 1];
        }
        Progress ignored;
        fir(stuffed, filtered, frames * 3, 2, taps, ignored);

        const std::uint64_t outFrames = windUpFrames(frames, speed.decimation);
        EXPECT_EQ(outFrames, frames * 3 / speed.decimation);
        std::vector<double> expected(outFrames * 2), out(outFrames * 2);
        for (std::size_t i = 0; i < outFrames; ++i) {
            expected[2 * i] = filtered[2 * i * speed.decimation];
            expected[2 * i + 1] = filtered[2 * i * speed.decimation + 1];
        }
        Progress progress;
        windUpResample(in, frames, 2, h, speed.decimation, out, progress);
        EXPECT_EQ(out, expected) << speed.text;
    }
}

void prepare(SampleJob& s, std::uint32_t frames, double rate, int captureSpeed, EnhancementCode enhancement = kRiaa)
{
    s.job.srcChannels = 2;
    s.job.dstFrames = frames;
    s.job.dstFrameRate = rate;
    s.job.settings.captureSpeed = captureSpeed;
    s.job.settings.filterType_1 = enhancement;
    s.job.audioBuf_0.resize(std::size_t{frames} * 2);
    for (std::size_t i = 0; i < s.job.audioBuf_0.size(); ++i)
        s.job.audioBuf_0[i] = 5000 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i / 2) / rate);
    s.log.clear();
}

TEST(WindUpSpeedChange, ShortensByThreeOverDAtTheSameRate)
{
    for (double rate : {44100.0, 96000.0})
        for (const WindUpSpeed& speed : kWindUpSpeeds) {
            SCOPED_TRACE(testing::Message() << rate << " " << speed.text);
            SampleJob t;
            prepare(t, 9600, rate, speed.captureSpeed, rate == 44100 ? kRiaa : kAmerican78);
            t.job.WindUpSpeedChange();
            EXPECT_EQ(t.job.dstFrames, 9600u * 3 / speed.decimation);
            EXPECT_EQ(t.job.dstFrameRate, rate);
            EXPECT_EQ(t.log.lines(), std::vector<std::string>{"<Info>  Wind-up processing"});
            EXPECT_EQ(t.job.tableText(TableText::State), "Wind-up processing from " + std::string(speed.text) + "...");
            EXPECT_EQ(t.job.tableText(TableText::Progress), "100%");

            // 1 kHz plays D/3 times higher: count the rising zero crossings.
            int crossings = 0;
            for (std::size_t n = 1; n < t.job.dstFrames; ++n)
                if (t.job.audioBuf_0[2 * (n - 1)] < 0 && t.job.audioBuf_0[2 * n] >= 0)
                    ++crossings;
            const double seconds = t.job.dstFrames / rate;
            EXPECT_NEAR(crossings / seconds, 1000.0 * speed.decimation / 3, 1.5 / seconds);
        }
}

TEST(WindUpSpeedChange, ShortBuffersAndSkippedChanges)
{
    SampleJob one;
    prepare(one, 1, 48000, 6);
    one.job.audioBuf_0 = {7, 8};
    one.job.WindUpSpeedChange();
    EXPECT_EQ(one.job.dstFrames, 0u);
    EXPECT_EQ(one.job.audioBuf_0, (std::vector<double>{7, 8}));

    for (auto [enhancement, speed] : {std::pair{kTapeA, 3}, std::pair{kRumbleOnly, 4}, std::pair{kRiaa, 2},
                                      std::pair{kRiaa, 7}}) {
        SampleJob s;
        prepare(s, 1000, 44100, speed, enhancement);
        const std::vector<double> before = test::plain(s.job.audioBuf_0);
        s.job.WindUpSpeedChange();
        EXPECT_EQ(s.job.dstFrames, 1000u);
        EXPECT_EQ(s.job.audioBuf_0, before);
        EXPECT_TRUE(s.log.lines().empty());
    }
}

TEST(WindUpSpeedChangeDeathTest, ChannelsAndRate)
{
    SampleJob s;
    prepare(s, 100, 32000, 3);
    EXPECT_DEATH(s.job.WindUpSpeedChange(), "Invalid frame rate in -\\[AudioFile WindUpSpeedChange\\]");
    s.job.srcChannels = 6;
    EXPECT_DEATH(s.job.WindUpSpeedChange(), "The number of channels must be 2 in -\\[AudioFile WindUpSpeedChange\\]");
    s.job.srcChannels = 2;
    s.job.dstFrameRate = 44100;
    s.job.settings.filterType_1 = kRiaa;
    s.job.dstFrames = 101;
    EXPECT_DEATH(s.job.WindUpSpeedChange(), "Buffer too small for its frames in -\\[AudioFile WindUpSpeedChange\\]");
}

}  // namespace
}  // namespace auralune
