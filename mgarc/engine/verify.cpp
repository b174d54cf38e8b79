// Verify reads the whole of the entries' data first, so that a file the
// system cannot read is found as surely as a wrong directory; the checks
// themselves need only the directory (archive_checks).
#include "mgarc/engine/verify.h"

#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/entry_names.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

// Hashing reads every byte of the entries too: in place of the plain read.
void CheckSums(const SumsList& sums, unsigned workers, Observer& observer, VerifyResult& result) {
  EntrySums hashed = HashEntries(result.archive, workers, false, observer);
  result.stopped = hashed.stopped;
  result.refused = std::move(hashed.refused);
  if (result.stopped || result.refused) return;
  NameCodec codec;
  result.findings =
      CheckArchive(result.archive, EncodeWith(codec), DecodeWith(codec), UppercaseText);
  std::vector<Finding> differing = CompareSums(result.archive, hashed.digests, sums);
  result.findings.insert(result.findings.end(), differing.begin(), differing.end());
}

}  // namespace

VerifyResult Verify(const std::string& archive, Observer& observer, const SumsList* sums,
                    unsigned workers) {
  VerifyResult result;
  if ((result.refused = LoadArchive(archive, result.archive))) return result;
  if (sums) {
    CheckSums(*sums, workers, observer, result);
    return result;
  }
  ArchiveView& view = result.archive;
  const std::uint64_t length = view.entryDataEnd() - kFirstEntryOffset;
  Progress progress{0, view.entries.size(), 0, length};
  observer.Progressed(progress);
  const std::uint64_t read = ReadInBlocks(*view.file, kFirstEntryOffset, length, 256 * 1024,
                                          [&](const unsigned char*, std::size_t size) {
                                            progress.bytesDone += size;
                                            observer.Progressed(progress);
                                            return !(result.stopped = observer.StopRequested());
                                          });
  if (result.stopped) return result;
  if (read < length) {
    result.refused =
        Problem{archive, ShortReadReason(*view.file, "cannot be read: ", kFirstEntryOffset + read)};
    return result;
  }
  NameCodec codec;
  result.findings = CheckArchive(view, EncodeWith(codec), DecodeWith(codec), UppercaseText);
  return result;
}

}  // namespace mgarc::engine
