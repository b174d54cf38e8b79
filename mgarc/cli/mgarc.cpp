#include "mgarc/cli/mgarc.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "archive/archive_format.h"
#include "mgarc/cli/commands.h"
#include "mgarc/cli/start_request.h"
#include "platform/arguments.h"
#include "platform/console.h"
#include "platform/console_key.h"
#include "platform/file_stream.h"

namespace mgarc::cli {

void ReportProblem(const std::string& subject, const std::string& reason) {
  FlushText(TextStream::kOut);
  WriteUtf8(TextStream::kErr, "mgarc: " + subject + ": " + reason + "\n");
}

bool ReportRefusal(const std::optional<engine::Problem>& refused) {
  if (refused) ReportProblem(refused->subject, refused->reason);
  return refused.has_value();
}

bool OpenArchive(const std::string& path, engine::ArchiveView& view) {
  return !ReportRefusal(engine::LoadArchive(path, view));
}

int FinishOutput(ExitStatus status) {
  int error = 0;
  bool pipeClosed = false;
  if (CloseStandardOutput(&error, &pipeClosed)) return static_cast<int>(status);
  // A reader that went away wants no more: as a program killed by SIGPIPE says nothing.
  if (!pipeClosed) ReportProblem("write error", SystemErrorUtf8(error));
  return static_cast<int>(ExitStatus::kStopped);
}

namespace {

// The command that the arguments chose, with its options, once parsed.
using Command = std::function<ExitStatus()>;

// Options of one command, kept alive for the parse and the run after it.
template <typename Options>
std::shared_ptr<Options> Keep(CLI::App& command, Command& chosen,
                              ExitStatus (*run)(const Options&)) {
  auto options = std::make_shared<Options>();
  command.callback([options, &chosen, run] { chosen = [options, run] { return run(*options); }; });
  return options;
}

void AddArchive(CLI::App& command, std::string& archive) {
  command.add_option("ARCHIVE", archive, "a VIZ00 or ZEL00 archive")->required();
}

void AddJobs(CLI::App& command, unsigned& workers) {
  command.add_option("-j,--jobs", workers, "worker threads (default: processors)")
      ->check(CLI::Range(1u, 1024u));
}

void AddExclude(CLI::App& command, std::vector<std::string>& exclude) {
  command
      .add_option("--exclude", exclude,
                  "leave out the files (or directories) that match a pattern, as extract matches "
                  "names, on the path below DIR")
      ->allow_extra_args(false);
}

void AddVerbosity(CLI::App& command, bool& verbose, bool& quiet, const char* eachLine) {
  auto* verboseFlag = command.add_flag("-v,--verbose", verbose, eachLine);
  command.add_flag("-q,--quiet", quiet, "print errors only")->excludes(verboseFlag);
}

void AddList(CLI::App& app, Command& chosen) {
  CLI::App* command = app.add_subcommand("list", "list the entries: index, size, offset, name");
  auto options = Keep(*command, chosen, RunList);
  auto* json = command->add_flag("--json", options->json, "one JSON document");
  auto* names =
      command->add_flag("--names", options->names, "each name alone on a line, in directory order")
          ->excludes(json);
  command
      ->add_flag("--sha256", options->sha256,
                 "each entry's SHA-256 and name, as sha256sum writes them (verify --sums checks)")
      ->excludes(json)
      ->excludes(names);
  command->add_flag("-0,--null", options->nul, "with --names: end each name with a zero byte")
      ->needs(names);
  AddJobs(*command, options->workers);
  AddArchive(*command, options->archive);
}

void AddVerify(CLI::App& app, Command& chosen) {
  CLI::App* command =
      app.add_subcommand("verify", "read everything and report every finding; writes nothing");
  auto options = Keep(*command, chosen, RunVerify);
  command->add_flag("--json", options->json, "one JSON document a line, one line an archive");
  command->add_option("--sums", options->sums,
                      "also check each entry against the sums of list --sha256 (- reads them from "
                      "standard input)");
  AddJobs(*command, options->workers);
  command->add_option("ARCHIVE", options->archives, "VIZ00 or ZEL00 archives")->required();
}

void AddCat(CLI::App& app, Command& chosen) {
  CLI::App* command = app.add_subcommand("cat", "write one entry's bytes to standard output");
  auto options = Keep(*command, chosen, RunCat);
  AddArchive(*command, options->archive);
  command->add_option("NAME", options->name, "the name as list shows it, case ignored")->required();
}

// start is filled in after every command is added (it needs their names),
// and before the parse.
void AddExtract(CLI::App& app, Command& chosen, const StartRequest& start) {
  CLI::App* command = app.add_subcommand("extract", "extract entries into a directory");
  auto options = Keep(*command, chosen, RunExtract);
  command->preparse_callback(
      [options, &start](std::size_t) { options->besideArchive = start.extractBesideArchive; });
  command->add_option("-C,--directory", options->directory,
                      "extract into DIR (default: the archive's name without extension)");
  AddJobs(*command, options->workers);
  auto* overwrite = command->add_flag_callback(
      "-o,--overwrite", [options] { options->existing = engine::ExistingFiles::kReplace; },
      "replace files that differ from the archive (they are kept, and said so, by default)");
  command
      ->add_flag_callback(
          "-k,--keep-existing", [options] { options->existing = engine::ExistingFiles::kKeep; },
          "keep every file that exists, saying nothing")
      ->excludes(overwrite);
  AddVerbosity(*command, options->verbose, options->quiet, "print each path written");
  AddArchive(*command, options->archive);
  command->add_option("PATTERN", options->patterns,
                      "only names that match a shell pattern ('*' and '?' match '/' too)");
}

void AddCreate(CLI::App& app, Command& chosen) {
  CLI::App* command =
      app.add_subcommand("create", "make an archive of every file below a directory");
  auto options = Keep(*command, chosen, RunCreate);
  // Any case: the magic as the archive holds it is what is written.
  command->add_option("--magic", options->magic, "VIZ00 (the default) or ZEL00")
      ->transform(CLI::IsMember(
          std::vector<std::string>(std::begin(kArchiveMagics), std::end(kArchiveMagics)),
          CLI::ignore_case));
  command->add_option("--order", options->orderFile,
                      "the entries' order: one name a line, as list --names prints them");
  command->add_flag("-0,--null", options->nulSeparated,
                    "the order file's names end with a zero byte (list --names -0)");
  AddExclude(*command, options->exclude);
  AddJobs(*command, options->workers);
  AddVerbosity(*command, options->verbose, options->quiet, "print each name packed");
  command->add_flag("--force", options->replaceExisting, "replace ARCHIVE when it exists");
  command->add_option("ARCHIVE", options->archive, "the archive to write")->required();
  command->add_option("DIR", options->directory, "the directory whose files it holds")->required();
}

ExitStatus RunUpdateOrSayWhat(const UpdateOptions& options) {
  if (options.directory.empty() && options.deletions.empty() && options.deleteFrom.empty()) {
    ReportProblem("update", "give a directory of files to put in, or --delete PATTERN");
    return ExitStatus::kStopped;
  }
  return RunUpdate(options);
}

void AddUpdate(CLI::App& app, Command& chosen) {
  CLI::App* command = app.add_subcommand(
      "update", "put edited files of DIR in their entries, add new ones, delete entries");
  auto options = Keep(*command, chosen, RunUpdateOrSayWhat);
  AddJobs(*command, options->workers);
  AddVerbosity(*command, options->verbose, options->quiet, "print each entry changed");
  command->add_flag("--dry-run", options->dryRun, "tell what would change; write nothing");
  AddExclude(*command, options->exclude);
  command
      ->add_option("--delete", options->deletions,
                   "delete the entries that match a pattern, as extract matches them")
      ->allow_extra_args(false);
  command->add_option("--delete-from", options->deleteFrom,
                      "delete the entries named in a file, one a line as list --names prints "
                      "them (- reads standard input)");
  command->add_flag("-0,--null", options->nulSeparated,
                    "the --delete-from file's names end with a zero byte (list --names -0)");
  command->add_option("ARCHIVE", options->archive, "the archive to update")->required();
  command->add_option("DIR", options->directory, "the files to put in, named as create names them");
}

void AddDiff(CLI::App& app, Command& chosen) {
  CLI::App* command =
      app.add_subcommand("diff", "compare two archives entry by entry; -o writes a patch");
  auto options = Keep(*command, chosen, RunDiff);
  command->add_flag("--json", options->json, "one JSON document");
  command->add_option("-o,--output", options->patch, "also write a patch that turns OLD into NEW");
  AddJobs(*command, options->workers);
  command->add_option("OLD", options->oldArchive, "the archive before")->required();
  command->add_option("NEW", options->newArchive, "the archive after")->required();
}

void AddApply(CLI::App& app, Command& chosen) {
  CLI::App* command =
      app.add_subcommand("apply", "turn an archive into the one a patch was made for");
  auto options = Keep(*command, chosen, RunApply);
  command->add_option("-o,--output", options->output,
                      "write the result there, leaving ARCHIVE as it is");
  AddJobs(*command, options->workers);
  command->add_option("PATCH", options->patch, "a patch that mgarc diff -o wrote")->required();
  command->add_option("ARCHIVE", options->archive, "the archive to patch")->required();
}

void AddMount(CLI::App& app, Command& chosen) {
  CLI::App* command =
      app.add_subcommand("mount", "show the archive as a read-only directory (Linux, FUSE)");
  auto options = Keep(*command, chosen, RunMount);
  command->add_flag("-f,--foreground", options->foreground,
                    "stay in the foreground; Ctrl+C unmounts");
  AddArchive(*command, options->archive);
  command->add_option("MOUNTPOINT", options->mountPoint, "an existing directory")->required();
}

// The arguments as the way mgarc was started means them (`mgarc ARCHIVE`
// extracts), given the commands there are.
StartRequest InterpretStartOf(const std::vector<std::string>& arguments, CLI::App& app,
                              bool consoleOfItsOwn) {
  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
  return InterpretStart(arguments, commands, consoleOfItsOwn, [](const std::string& argument) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(argument), error);
    if (!std::filesystem::exists(status)) return PathKind::kMissing;
    return std::filesystem::is_directory(status) ? PathKind::kDirectory : PathKind::kFile;
  });
}

// The parser's complaint as a sentence of mgarc's own: no class names, no
// capitals in mid-line, a missing value said as such.
std::string UsageText(const CLI::ParseError& error) {
  std::string text = error.what();
  // "--directory: 1 required TEXT missing"
  const std::size_t colon = text.find(": ");
  if (colon != std::string::npos && text.find(" required ", colon) != std::string::npos &&
      text.size() > 8 && text.compare(text.size() - 8, 8, " missing") == 0) {
    return text.substr(0, colon) + " needs a value";
  }
  // "The following..." but not "ARCHIVE is required".
  if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' && text[1] <= 'z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  for (std::size_t at; (at = text.find(": Value ")) != std::string::npos;) text[at + 2] = 'v';
  return text;
}

// A command line mgarc cannot run: one line that says why, and where to read more.
ExitStatus ReportUsageProblem(const std::string& problem, const std::string& command) {
  FlushText(TextStream::kOut);
  WriteUtf8(TextStream::kErr, "mgarc: " + problem + "\n(mgarc " + command +
                                  (command.empty() ? "" : " ") + "--help for more)\n");
  return ExitStatus::kStopped;
}

ExitStatus RunCommandLine(const std::vector<std::string>& arguments, bool consoleOfItsOwn) {
  CLI::App app(
      "Lists, checks, prints, extracts, creates, mounts, updates, compares and patches VIZ00 and "
      "ZEL00 game archives.",
      "mgarc");
  app.set_version_flag("--version", "mgarc " MARROWGILDER_VERSION
                                    "\nCopyright (c) 2026 the Marrowgilder authors. MIT License.");
  app.require_subcommand(1);
  app.failure_message(CLI::FailureMessage::help);
  Command chosen;
  StartRequest start;
  AddList(app, chosen);
  AddVerify(app, chosen);
  AddCat(app, chosen);
  AddExtract(app, chosen, start);
  AddCreate(app, chosen);
  AddUpdate(app, chosen);
  AddDiff(app, chosen);
  AddApply(app, chosen);
  AddMount(app, chosen);
  start = InterpretStartOf(arguments, app, consoleOfItsOwn);
  if (!start.problem.empty()) return ReportUsageProblem(start.problem, "");

  std::vector<std::string> reversed(start.arguments.rbegin(), start.arguments.rend());
  if (!reversed.empty()) reversed.pop_back();  // the program's own name
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() != 0) {
      std::vector<CLI::App*> parsed = app.get_subcommands();
      return ReportUsageProblem(UsageText(error), parsed.empty() ? "" : parsed[0]->get_name());
    }
    std::ostringstream out;
    std::ostringstream err;
    int status = app.exit(error, out, err);
    WriteUtf8(TextStream::kOut, out.str());
    WriteUtf8(TextStream::kErr, err.str());
    FlushText(TextStream::kOut);
    return status == 0 ? ExitStatus::kDone : ExitStatus::kStopped;
  }
  try {
    return chosen();
  } catch (const std::exception& error) {
    ReportProblem("error", error.what());
    return ExitStatus::kStopped;
  }
}

}  // namespace

ExitStatus RunMgarc(const std::vector<std::string>& arguments) {
  bool consoleOfItsOwn = ConsoleOfItsOwn();
  ExitStatus status = RunCommandLine(arguments, consoleOfItsOwn);
  if (consoleOfItsOwn) {
    WriteUtf8(TextStream::kOut, "Press any key to close.\n");
    FlushText(TextStream::kOut);
    ReadConsoleKey();
  }
  return status;
}

}  // namespace mgarc::cli
