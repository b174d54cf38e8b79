#include <memory>

#include "archive/archive_format.h"
#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/packing_list.h"
#include "mgarc/engine/tree_walk.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/text_conversion.h"

namespace mgarc::cli {
using namespace engine;

namespace fs = std::filesystem;

namespace {

void ReportAll(const std::vector<PackingProblem>& problems) {
  for (const PackingProblem& problem : problems) ReportProblem(problem.subject, problem.reason);
}

// The names of the order file, read as a stream: a pipe or standard input
// ("-") has no size to go by. False when it cannot be read (reported).
bool ReadOrder(const std::string& orderFile, std::vector<std::string>& order) {
  InputFile file;
  bool opened = true;
  if (orderFile == "-") {
    file.UseStandardInput();
  } else {
    opened = file.OpenStream(PathFromUtf8(orderFile));
  }
  std::string text;
  auto chunk = std::make_unique<char[]>(64 * 1024);
  for (std::size_t got; opened && (got = file.Read(chunk.get(), 64 * 1024)) > 0;) {
    text.append(chunk.get(), got);
  }
  if (!opened || file.error() != 0) {
    ReportProblem(orderFile, SystemErrorUtf8(file.error()));
    return false;
  }
  order = ParseOrder(text);
  return true;
}

// The archive of the files in their order: the header, their bytes from
// byte 16 on, then the directory.
WritePlan LayOut(const std::vector<PackedFile>& files, const std::string& magic) {
  WritePlan plan;
  std::uint64_t at = kFirstEntryOffset;
  std::string directory(kRecordSize * files.size(), '\0');
  for (std::size_t i = 0; i < files.size(); ++i) {
    plan.pieces.push_back(WritePiece::OfFile(at, files[i].size, files[i].path));
    EncodeDirectoryRecord(files[i].stored.c_str(), static_cast<std::uint32_t>(files[i].size),
                          reinterpret_cast<unsigned char*>(&directory[kRecordSize * i]));
    at += files[i].size;
  }
  unsigned char header[kFirstEntryOffset];
  EncodeArchiveHeader(magic.c_str(), static_cast<std::uint16_t>(files.size()),
                      static_cast<std::uint32_t>(at), header);
  plan.pieces.push_back(
      WritePiece::OfLiteral(0, std::string(reinterpret_cast<const char*>(header), sizeof header)));
  plan.pieces.push_back(WritePiece::OfLiteral(at, std::move(directory)));
  return plan;
}

}  // namespace

ExitStatus RunCreate(const CreateOptions& options) {
  const fs::path archivePath = PathFromUtf8(options.archive);
  const fs::path root = PathFromUtf8(options.directory);
  std::error_code failure;
  if (!fs::is_directory(root, failure)) {
    ReportProblem(options.directory, failure ? failure.message() : "not a directory");
    return ExitStatus::kStopped;
  }
  // An archive made inside the tree is not packed into itself.
  std::vector<FileIdentity> leaveOut;
  FileIdentity existing;
  if (IdentifyPath(archivePath, &existing)) leaveOut.push_back(existing);
  TreeWalk walk = WalkTree(root, leaveOut);
  if (!walk.failure.empty()) {
    ReportProblem(options.directory, "cannot be read: " + walk.failure);
    return ExitStatus::kStopped;
  }
  ReportAll(walk.notes);

  NameCodec codec;
  NameConversion conversion{
      [&codec](const std::string& text, std::string& out) { return codec.Encode(text, out); },
      DecodeWith(codec), UppercaseText};
  std::vector<PackingProblem> problems = AssignStoredNames(walk.files, conversion);
  std::vector<std::string> order;
  if (!options.orderFile.empty() && !ReadOrder(options.orderFile, order))
    return ExitStatus::kStopped;
  std::vector<std::string> unlisted;
  std::vector<PackingProblem> orderProblems =
      ArrangeFiles(walk.files, options.orderFile.empty() ? nullptr : &order, unlisted);
  problems.insert(problems.end(), orderProblems.begin(), orderProblems.end());
  std::string limit;
  if (!FitsTheContainer(walk.files, limit)) problems.push_back({options.archive, limit});
  if (!problems.empty()) {
    ReportAll(problems);
    ReportProblem(options.archive, "not written");
    return ExitStatus::kStopped;
  }
  for (const std::string& name : unlisted) {
    ReportProblem(name, "not in the order file: packed after the names it lists");
  }
  if (walk.files.size() > kMarrowgilderEntryLimit) {
    ReportProblem(options.archive, std::to_string(walk.files.size()) +
                                       " entries: marrowgilder extracts at most " +
                                       std::to_string(kMarrowgilderEntryLimit));
  }

  PrintingObserver observer(options.verbose, !options.quiet);
  ItemReport report;
  report.name = [&walk](std::size_t i) { return walk.files[i].relative; };
  report.doneLine = report.name;
  report.observer = &observer;
  std::string problem;
  bool written = WritePlanned(LayOut(walk.files, options.magic), archivePath, report,
                              options.workers, {}, problem);
  observer.Finish();
  if (!written) {
    ReportProblem(options.archive, problem);
    return ExitStatus::kStopped;
  }
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
