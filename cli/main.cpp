// zandrex-cli: the find of the desktop program, headless, for scripts and terminals.
#include "cli_output.h"
#include "cli_view.h"
#include "select/group_stats.h"
#include "select/selection_helpers.h"
#include "settings/message_texts.h"
#include "shellaid/program_environment.h"
#include "source/path_routines.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace zandrex;

constexpr int kExitDone = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotAllDeleted = 3;
constexpr int kExitInterrupted = 130;

constexpr const char* kUsage =
    "Usage: zandrex-cli [--by filename|size|filename-size|content] [--no-subfolders] [--json]\n"
    "                   [--select newest|oldest|first|shortest [--delete]] FOLDER\n"
    "\n"
    "Finds duplicate files in FOLDER (and its subfolders) and lists them by group.\n"
    "  --by MODE         how duplicates are recognised (default: filename)\n"
    "  --no-subfolders   list only the files directly in FOLDER\n"
    "  --json            print one JSON document; bytes of names that are not UTF-8 are\n"
    "                    written as \\udcXX escapes\n"
    "  --select RULE     in each group keep one file (the newest, the oldest, the first in\n"
    "                    path order or the one with the shortest path) and print the others:\n"
    "                    the files that would be deleted\n"
    "  --delete          delete the files --select printed, each only after checking that it\n"
    "                    is unchanged and that the kept copy still holds the same content;\n"
    "                    prints every file that was not deleted, with the reason\n"
    "Exit codes: 0 done, 1 an error ended the find, 2 bad usage or unreadable folder,\n"
    "3 some selected files were not deleted, 130 cancelled by Ctrl-C.\n";

struct Options {
  int mode = ByName;
  bool subfolders = true;
  bool json = false;
  bool select = false;
  KeepRule keep = KeepRule::First;
  bool remove = false;
  std::string folder;
};

int usageError(const std::string& message) {
  std::cerr << "zandrex-cli: " << message << "\n\n" << kUsage;
  return kExitUsage;
}

std::optional<int> modeFromName(const std::string& name) {
  for (int mode = ByName; mode <= ByContent; ++mode)
    if (name == cli::kModeNames[mode])
      return mode;
  return std::nullopt;
}

// Parses the arguments; returns an exit code when the command must end here.
std::optional<int> parse(int argc, char** argv, Options& options) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return kExitDone;
    }
    if (arg == "--json") {
      options.json = true;
      continue;
    }
    if (arg == "--no-subfolders") {
      options.subfolders = false;
      continue;
    }
    if (arg == "--by" || arg.starts_with("--by=")) {
      std::string value = arg == "--by" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(5);
      auto mode = modeFromName(value);
      if (!mode)
        return usageError("unknown mode '" + value + "' for --by");
      options.mode = *mode;
      continue;
    }
    if (arg == "--select" || arg.starts_with("--select=")) {
      std::string value =
          arg == "--select" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(9);
      if (!keepRuleFromName(value, options.keep))
        return usageError("unknown rule '" + value + "' for --select");
      options.select = true;
      continue;
    }
    if (arg == "--delete") {
      options.remove = true;
      continue;
    }
    if (arg.starts_with("-") && arg != "-")
      return usageError("unknown option '" + arg + "'");
    if (!options.folder.empty())
      return usageError("only one FOLDER may be given");
    options.folder = arg;
  }
  if (options.folder.empty())
    return usageError("no FOLDER given");
  if (options.remove && !options.select)
    return usageError("--delete needs --select: say which copy of each group to keep");
  if (options.select && options.json)
    return usageError("--select prints paths; it does not combine with --json");
  return std::nullopt;
}

// The folder's real path with a trailing "/", or an exit code after a message.
std::optional<std::string> resolveFolder(const std::string& folder, int& exitCode) {
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved)) {
    std::cerr << "zandrex-cli: cannot use '" << folder << "': " << std::strerror(errno) << "\n";
    exitCode = kExitUsage;
    return std::nullopt;
  }
  DIR* dir = opendir(resolved);
  if (!dir) {
    std::cerr << "zandrex-cli: '" << folder
              << "' is not a readable folder: " << std::strerror(errno) << "\n";
    exitCode = kExitUsage;
    return std::nullopt;
  }
  closedir(dir);
  return withTrailingSlash(resolved);
}

// Ticks all but one file per group, prints the ticked files and, with --delete, deletes them
// through the guarded deletion run and prints what was not deleted.
int selectAndDelete(DuplicateFinder& core, const Options& options,
                    const cli::CliErrorPresenter& presenter) {
  auto pathOf = [&](RecordId record) { return core.fullPath(record); };
  SelectionResult result = tickAllButOne(core.grid(), options.keep, pathOf);
  const ReportGrid& grid = core.grid();
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (!row.isGroup() && grid.ticked(row.record))
      std::cout << core.fullPath(row.record) << '\n';
  }
  std::cout.flush();
  std::cerr << tickedReport(result) << "\n";
  if (!options.remove)
    return kExitDone;
  core.deleteTicked();
  if (cli::interruptRequested)
    return kExitInterrupted;
  if (presenter.errorShown())
    return kExitError;
  const ReportGrid& failures = core.failures().grid();
  for (std::size_t i = 0; i < failures.rowCount(); ++i) {
    RecordId record = failures.row(i).record;
    std::cerr << "not deleted: " << core.failures().fullPath(record) << ": "
              << failures.item(record, failcol::kReason).asText() << "\n";
  }
  std::uint64_t deleted = result.ticked - failures.recordCount();
  std::cerr << "Deleted " << withThousands(deleted) << (deleted == 1 ? " file" : " files") << "; "
            << core.statusText2() << "\n";
  return failures.recordCount() == 0 ? kExitDone : kExitNotAllDeleted;
}

} // namespace

int main(int argc, char** argv) {
  SetLanguageTexts();
  reportEnvironment() = programReportEnvironment();
  Options options;
  if (auto code = parse(argc, argv, options))
    return *code;
  int exitCode = kExitDone;
  auto source = resolveFolder(options.folder, exitCode);
  if (!source)
    return exitCode;

  cli::installInterruptHandler();
  cli::CliErrorPresenter presenter;
  setErrorPresenter(&presenter);
  MemorySettings settings;
  cli::CliView view(options.mode, options.subfolders, isatty(STDERR_FILENO) == 1);
  DuplicateFinder core(view, settings);
  view.attach(core);
  core.setUpGrid();
  core.setSource(*source);
  core.find();
  view.endProgress();
  if (!core.findNote().empty())
    std::cerr << "zandrex-cli: " << core.findNote() << "\n";

  if (cli::interruptRequested) {
    std::cerr << "zandrex-cli: cancelled\n";
    return kExitInterrupted;
  }
  if (presenter.errorShown())
    return kExitError;
  std::ios::sync_with_stdio(false);
  if (options.select)
    return selectAndDelete(core, options, presenter);
  if (options.json)
    cli::printJson(std::cout, core, options.mode);
  else
    cli::printText(std::cout, core);
  std::cout.flush();
  return kExitDone;
}
