#pragma once

namespace auralune {

class AudioFile;

// Reads the samples of an analysed source into srcAudioData with the
// reader of its file type, and checks its format again (the file may have
// changed since it was analysed). Failures set the job's error bits.
void readSourceSamples(AudioFile& job);

}  // namespace auralune
