#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "enhance/decoder_stage.h"
#include "enhance/stage_support.h"
#include "enhance/hilbert_kernels.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kHilbertMethod = "-[AudioFile Hilbert:]";

struct MatrixType {
    EnhancementCode code;
    MatrixCode matrix;
    std::uint32_t channels;   // of the stage output
};

constexpr MatrixType kMatrixTypes[] = {
    {0x100000, MatrixCode::OrvantilLoudspeakers, 2},
    {0x200000, MatrixCode::OrvantilHeadphones, 2},
    {0x400000, MatrixCode::Qs, 6},
    {0x800000, MatrixCode::Sq, 6},
    {0x1000000, MatrixCode::Uhj, 6},
    {0x400000000000, MatrixCode::MatrixH, 6},
};

}  // namespace

void AudioFile::Hilbert(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kHilbertMethod);
    const MatrixType* type = findVariant(kMatrixTypes, io.code);
    if (type == nullptr)
        raiseAssertion("Filter type is unknown in %s", kHilbertMethod);
    beginDecoderStage(*this, io, type->channels, "2 > 4.0", kHilbertMethod);

    const std::optional<QuadratureNetwork> network = quadratureNetwork(dstFrameRate);
    if (!network)
        raiseAssertion("Invalid frame rate in %s", kHilbertMethod);
    MatrixDecodeParams params{type->matrix, *network, {}, 0};
    // Only the UHJ decode uses the regime, so only it depends on a valid one.
    if (type->matrix == MatrixCode::Uhj) {
        const int regime = settings.ambisonicUhjRegime;
        if (regime < 1 || regime > static_cast<int>(kUhjRegimes.size()))
            raiseAssertion("Ambisonic UHJ regime is not known in %s", kHilbertMethod);
        params.uhj = kUhjRegimes[static_cast<std::size_t>(regime - 1)];
        // 12 ms: 576 frames at 48 kHz, 529 at 44.1 kHz.
        if (params.uhj.rearDelay)
            params.rearDelayFrames = static_cast<std::uint64_t>(std::trunc(dstFrameRate * 0.012 + 0.5));
    }

    Progress progress{Progress::stepFor(dstFrames), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);
    matrixDecode(io.in, io.inChannels, io.out, io.outChannels, dstFrames, params, progress);
    error = 0;
}

}  // namespace auralune
