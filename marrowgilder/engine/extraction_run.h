// One extraction run: from the archive's path to a tree of files.
#pragma once

namespace marrowgilder::engine {

// How a run ended; the command line turns it into the exit status.
enum class RunOutcome : int {
  kAllWritten = 0,      // every entry asked for was written whole
  kSomeNotWritten = 1,  // the run went through, but not every entry was written whole
  kStopped = 2,         // the run stopped at a report; nothing was extracted
};

// True when a file (not a directory) exists at path, readable or not: an
// unreadable archive is then reported as such, not as missing.
bool FileExists(const char* path);

// Extracts the archive at archivePath into outputDirectory, after asking at
// which entry to begin. magic is "VIZ00" or "ZEL00".
RunOutcome ExtractArchive(const char* archivePath, const char* outputDirectory, const char* magic);

}  // namespace marrowgilder::engine
