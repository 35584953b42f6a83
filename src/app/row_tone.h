#pragma once

namespace auralune {

class AudioFile;

// The text colour of a table row, by outcome: failed rows red, rows being
// converted and converted rows green, rows with findings orange.
enum class RowTone { Normal, Failed, Converting, Warned, Converted };

// A prior Enhancement 1 of exactly "None" (warning_1 == 1) is no finding.
RowTone rowTone(int state, int error, int warning, unsigned long long warning1);
RowTone rowTone(const AudioFile& job);

}  // namespace auralune
