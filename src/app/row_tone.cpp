#include "app/row_tone.h"

#include "engine/audio_file.h"

namespace auralune {

RowTone rowTone(int state, int error, int warning, unsigned long long warning1)
{
    if (error != 0)
        return RowTone::Failed;
    if (state == kStateConverting)
        return RowTone::Converting;
    if ((warning != 0 || warning1 != 0) && warning1 != 1)
        return RowTone::Warned;
    if (state == kStateConverted)
        return RowTone::Converted;
    return RowTone::Normal;
}

RowTone rowTone(const AudioFile& job)
{
    return rowTone(job.state.load(), job.error.load(), job.warning.load(), job.warning_1.load());
}

}  // namespace auralune
