// Streaming signed-data writer for files too large to hold in memory.
// Internal to src/cms.
#pragma once

namespace velt::cms {

// Signs inFile into outFile as BER with indefinite lengths, content in
// 8192-octet segments, RSA signers only. 0 or a positive code; a failure
// leaves no output file.
long sigdata_bigfile(const char* outFile, const char* inFile, const char* certList, const char* privateKey,
                     long options);

}  // namespace velt::cms
