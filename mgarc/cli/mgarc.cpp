#include "mgarc/cli/mgarc.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <sstream>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/start_request.h"
#include "platform/arguments.h"
#include "platform/console.h"
#include "platform/console_key.h"
#include "platform/file_stream.h"

namespace mgarc::cli {
using namespace engine;

namespace {

void AddArchive(CLI::App& command, std::string& archive) {
  command.add_option("ARCHIVE", archive, "a VIZ00 or ZEL00 archive")->required();
}

}  // namespace

void ReportProblem(const std::string& subject, const std::string& reason) {
  FlushText(TextStream::kOut);
  WriteUtf8(TextStream::kErr, "mgarc: " + subject + ": " + reason + "\n");
}

bool OpenArchive(const std::string& path, engine::ArchiveView& view) {
  std::optional<engine::Problem> refused = engine::LoadArchive(path, view);
  if (!refused) return true;
  ReportProblem(refused->subject, refused->reason);
  return false;
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

ExitStatus RunCommandLine(const std::vector<std::string>& arguments, bool consoleOfItsOwn);

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

namespace {

ExitStatus RunCommandLine(const std::vector<std::string>& arguments, bool consoleOfItsOwn) {
  CLI::App app(
      "Lists, checks, prints, extracts, creates, mounts, updates, compares and patches VIZ00 and "
      "ZEL00 game archives.",
      "mgarc");
  app.set_version_flag("--version", "mgarc " MARROWGILDER_VERSION
                                    "\nCopyright (c) 2026 the Marrowgilder authors. MIT License.");
  app.require_subcommand(1);
  app.failure_message(CLI::FailureMessage::help);

  ListOptions list;
  CLI::App* listCommand = app.add_subcommand("list", "list the entries: index, size, offset, name");
  auto* json = listCommand->add_flag("--json", list.json, "one JSON document");
  listCommand->add_flag("--names", list.names, "each name alone on a line, in directory order")
      ->excludes(json);
  AddArchive(*listCommand, list.archive);

  VerifyOptions verify;
  CLI::App* verifyCommand =
      app.add_subcommand("verify", "read everything and report every finding; writes nothing");
  verifyCommand->add_flag("--json", verify.json, "one JSON document");
  AddArchive(*verifyCommand, verify.archive);

  CatOptions cat;
  CLI::App* catCommand = app.add_subcommand("cat", "write one entry's bytes to standard output");
  AddArchive(*catCommand, cat.archive);
  catCommand->add_option("NAME", cat.name, "the name as list shows it, case ignored")->required();

  ExtractOptions extract;
  CLI::App* extractCommand = app.add_subcommand("extract", "extract entries into a directory");
  extractCommand->add_option("-C,--directory", extract.directory,
                             "extract into DIR (default: the archive's name without extension)");
  extractCommand->add_option("-j,--jobs", extract.workers, "worker threads (default: processors)")
      ->check(CLI::Range(1u, 1024u));
  extractCommand->add_flag("-k,--keep-existing", extract.keepExisting,
                           "keep files that exist already");
  auto* verbose =
      extractCommand->add_flag("-v,--verbose", extract.verbose, "print each path written");
  extractCommand->add_flag("-q,--quiet", extract.quiet, "print errors only")->excludes(verbose);
  AddArchive(*extractCommand, extract.archive);
  extractCommand->add_option("PATTERN", extract.patterns,
                             "only names that match a shell pattern ('*' and '?' match '/' too)");

  CreateOptions create;
  CLI::App* createCommand =
      app.add_subcommand("create", "make an archive of every file below a directory");
  createCommand->add_option("--magic", create.magic, "VIZ00 (the default) or ZEL00")
      ->check(CLI::IsMember({"VIZ00", "ZEL00"}));
  createCommand->add_option("--order", create.orderFile,
                            "the entries' order: one name a line, as list --names prints them");
  createCommand->add_option("-j,--jobs", create.workers, "worker threads (default: processors)")
      ->check(CLI::Range(1u, 1024u));
  auto* createVerbose =
      createCommand->add_flag("-v,--verbose", create.verbose, "print each name packed");
  createCommand->add_flag("-q,--quiet", create.quiet, "print errors only")->excludes(createVerbose);
  createCommand->add_option("ARCHIVE", create.archive, "the archive to write")->required();
  createCommand->add_option("DIR", create.directory, "the directory whose files it holds")
      ->required();

  UpdateOptions update;
  CLI::App* updateCommand = app.add_subcommand(
      "update", "put edited files of DIR in their entries, add new ones, delete entries");
  updateCommand->add_option("-j,--jobs", update.workers, "worker threads (default: processors)")
      ->check(CLI::Range(1u, 1024u));
  auto* updateVerbose =
      updateCommand->add_flag("-v,--verbose", update.verbose, "print each entry changed");
  updateCommand->add_flag("-q,--quiet", update.quiet, "print errors only")->excludes(updateVerbose);
  updateCommand->add_flag("--dry-run", update.dryRun, "tell what would change; write nothing");
  updateCommand
      ->add_option("--delete", update.deletions,
                   "delete the entries that match a pattern, as extract matches them")
      ->allow_extra_args(false);
  updateCommand->add_option("ARCHIVE", update.archive, "the archive to update")->required();
  updateCommand->add_option("DIR", update.directory,
                            "the files to put in, named as create names them");

  DiffOptions diff;
  CLI::App* diffCommand =
      app.add_subcommand("diff", "compare two archives entry by entry; -o writes a patch");
  diffCommand->add_flag("--json", diff.json, "one JSON document");
  diffCommand->add_option("-o,--output", diff.patch, "also write a patch that turns OLD into NEW");
  diffCommand->add_option("-j,--jobs", diff.workers, "worker threads (default: processors)")
      ->check(CLI::Range(1u, 1024u));
  diffCommand->add_option("OLD", diff.oldArchive, "the archive before")->required();
  diffCommand->add_option("NEW", diff.newArchive, "the archive after")->required();

  ApplyOptions apply;
  CLI::App* applyCommand =
      app.add_subcommand("apply", "turn an archive into the one a patch was made for");
  applyCommand->add_option("-o,--output", apply.output,
                           "write the result there, leaving ARCHIVE as it is");
  applyCommand->add_option("-j,--jobs", apply.workers, "worker threads (default: processors)")
      ->check(CLI::Range(1u, 1024u));
  applyCommand->add_option("PATCH", apply.patch, "a patch that mgarc diff -o wrote")->required();
  applyCommand->add_option("ARCHIVE", apply.archive, "the archive to patch")->required();

  MountOptions mount;
  CLI::App* mountCommand =
      app.add_subcommand("mount", "show the archive as a read-only directory (Linux, FUSE)");
  mountCommand->add_flag("-f,--foreground", mount.foreground,
                         "stay in the foreground; Ctrl+C unmounts");
  AddArchive(*mountCommand, mount.archive);
  mountCommand->add_option("MOUNTPOINT", mount.mountPoint, "an existing directory")->required();

  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
  StartRequest start =
      InterpretStart(arguments, commands, consoleOfItsOwn, [](const std::string& argument) {
        std::error_code error;
        return std::filesystem::is_regular_file(PathFromUtf8(argument), error);
      });
  extract.besideArchive = start.extractBesideArchive;

  std::vector<std::string> reversed(start.arguments.rbegin(), start.arguments.rend());
  if (!reversed.empty()) reversed.pop_back();  // the program's own name
  std::ostringstream out;
  std::ostringstream err;
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    int status = app.exit(error, out, err);
    WriteUtf8(TextStream::kOut, out.str());
    WriteUtf8(TextStream::kErr, err.str());
    FlushText(TextStream::kOut);
    return status == 0 ? ExitStatus::kDone : ExitStatus::kStopped;
  }
  try {
    if (listCommand->parsed()) return RunList(list);
    if (verifyCommand->parsed()) return RunVerify(verify);
    if (catCommand->parsed()) return RunCat(cat);
    if (createCommand->parsed()) return RunCreate(create);
    if (mountCommand->parsed()) return RunMount(mount);
    if (updateCommand->parsed()) {
      if (update.directory.empty() && update.deletions.empty()) {
        ReportProblem("update", "give a directory of files to put in, or --delete PATTERN");
        return ExitStatus::kStopped;
      }
      return RunUpdate(update);
    }
    if (diffCommand->parsed()) return RunDiff(diff);
    if (applyCommand->parsed()) return RunApply(apply);
    return RunExtract(extract);
  } catch (const std::exception& error) {
    ReportProblem("error", error.what());
    return ExitStatus::kStopped;
  }
}

}  // namespace

}  // namespace mgarc::cli
