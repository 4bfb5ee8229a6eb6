// zandrex-cli: the find of the desktop program, headless, for scripts and terminals.
#include "cli_output.h"
#include "cli_view.h"
#include "listing/list_writer.h"
#include "platform/fd_output_buffer.h"
#include "reclaim_words.h"
#include "select/group_stats.h"
#include "select/selection_helpers.h"
#include "settings/message_texts.h"
#include "shellaid/program_environment.h"
#include "source/path_routines.h"
#include "source/system_folder_guard.h"
#include "walk/scan_filter.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace zandrex;

constexpr int kExitDone = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotAllDeleted = 3;
// A stop by a signal exits with 128 + its number: 130 for SIGINT, 143 for SIGTERM.
constexpr int kExitSignalBase = 128;

constexpr const char* kUsage =
    "Usage: zandrex-cli [OPTION]... [--] FOLDER...\n"
    "\n"
    "Finds duplicate files in each FOLDER (and its subfolders) and lists them by group;\n"
    "a group may hold files of several FOLDERs. Every folder is searched once however the\n"
    "FOLDERs nest: one given twice, inside another, or reached again through a link or a\n"
    "bind mount adds nothing.\n"
    "  --by MODE         how duplicates are recognised: filename (the default), size,\n"
    "                    filename-size or content\n"
    "  --no-subfolders   list only the files directly in each FOLDER\n"
    "  --min-size SIZE   leave out files smaller than SIZE bytes (a file of exactly SIZE is\n"
    "                    kept); SIZE may end in k, M or G for KiB, MiB or GiB: 512k, 1M\n"
    "  --exclude PATTERN leave out files and folders whose name matches the shell pattern\n"
    "                    PATTERN (*, ?, [...]; matched against the name alone, so it cannot\n"
    "                    hold \"/\"); a folder left out is not searched. May be repeated.\n"
    "                    A FOLDER given is searched whatever its name\n"
    "  --json            print one JSON document; bytes of names that are not UTF-8 are\n"
    "                    written as \\udcXX escapes. \"sources\" lists the FOLDERs as\n"
    "                    searched (real paths); \"source\" is there too when one was given\n"
    "  --csv             print one CSV table (RFC 4180): a header row, then one row per file\n"
    "                    with its group's number, key, path, folder, name, size, date,\n"
    "                    checksum, tick and protection (1 or 0); a field with a backslash\n"
    "                    or bytes that are not UTF-8 has its backslashes doubled and those\n"
    "                    bytes as \\udcXX\n"
    "  -0, --null        for scripts: print each path exactly as it is on disk, followed by a\n"
    "                    NUL byte, with no headings and no status text; after each group's\n"
    "                    last path one more NUL (an empty record) ends the group. With\n"
    "                    --select, only the files to delete, each followed by a NUL.\n"
    "                    Not with --json\n"
    "  --select RULE     in each group keep one file (RULE: newest, oldest, first in path\n"
    "                    order, or shortest path) and print the others: the files that\n"
    "                    would be deleted\n"
    "  --delete          delete the files --select printed, each only after checking that it\n"
    "                    is unchanged and that the kept copy still holds the same content;\n"
    "                    the list is written out in full before the first file is deleted,\n"
    "                    and nothing is deleted when it cannot be written. Prints on standard\n"
    "                    error every file that was not deleted, with the reason\n"
    "  --trash           as --delete, but move the files into the trash of their own file\n"
    "                    system (the one the desktop's file manager shows and restores\n"
    "                    from); a file with no trash on its file system stays where it is\n"
    "  --link hard|reflink\n"
    "                    as --delete, but keep every name: each file becomes a hard link of\n"
    "                    the copy kept (on the same file system), or (reflink) the file\n"
    "                    system, having compared the bytes itself, stores the two files'\n"
    "                    bytes once (XFS, Btrfs). A file that cannot be linked is left as\n"
    "                    it was. --delete, --trash and --link exclude each other\n"
    "  --no-cache        read every file compared by content, neither using nor updating\n"
    "                    the digests remembered in ~/.cache/zandrex/ (or\n"
    "                    $XDG_CACHE_HOME/zandrex/) from earlier finds\n"
    "  --protect DIR     never select or delete a file in DIR or below it (repeatable). DIR\n"
    "                    is known by its identity, wherever a link or FOLDER leads to it;\n"
    "                    its files are still listed: in the text output a tab and\n"
    "                    \"(protected)\" follow the path, in --json \"protected\" is true\n"
    "  --readers N       read N files at once by content (1 to 64); by default one from a\n"
    "                    spinning disk, else eight (or one per core when there are more)\n"
    "  --allow-system-folders\n"
    "                    let --delete (--trash, --link) act when a FOLDER (its real path)\n"
    "                    is, contains or lies inside a system folder (/usr, /etc); without\n"
    "                    it --delete (--trash, --link) refuses\n"
    "                    there before the find, while listing works as always\n"
    "  -h, --help        print this help\n"
    "  --                end of the options: a FOLDER after it may start with \"-\"\n"
    "\n"
    "Text output (not --json, --csv or --null): a path, or a name in a group heading, that holds\n"
    "a control character, a backslash, a quote or bytes that are not UTF-8 is quoted the\n"
    "way GNU ls quotes for a terminal, so that a shell reads it back as the exact bytes:\n"
    "a name a<newline>b is printed 'a'$'\\n''b'. Other paths are printed as they are.\n"
    "\n"
    "Ctrl-C (SIGINT) and SIGTERM stop the find, or the deletion between two files; a\n"
    "stopped or failed deletion prints on standard error a \"deleted: PATH\" line for each\n"
    "file it deleted and a \"not deleted: PATH: REASON\" line for each it refused\n"
    "(\"trashed\" and \"linked\" for --trash and --link).\n"
    "\n"
    "Exit codes: 0 done; 1 an error ended the command, or the output could not be written;\n"
    "2 bad usage, a folder that cannot be read, or --delete refused in a system folder;\n"
    "3 some selected files were not deleted (trashed, linked); 130 stopped by SIGINT;\n"
    "143 stopped by SIGTERM.\n";

struct Options {
  int mode = ByName;
  bool subfolders = true;
  bool json = false;
  bool csv = false;
  bool select = false;
  KeepRule keep = KeepRule::First;
  bool remove = false;
  ReclaimWay way = ReclaimWay::Delete;
  bool nullSeparated = false;
  bool allowSystemFolders = false;
  bool digestCache = true;
  ScanFilter filter;
  std::vector<std::string> folders;
  std::vector<std::string> protectedFolders;
  unsigned readers = 0;
};

// The first of SIGINT and SIGTERM that arrived; 0 while none did.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
  if (stopSignal == 0)
    stopSignal = signal;
  cli::interruptRequested = 1;
}

// SIGINT and SIGTERM both ask the find or the deletion to stop at its next step, as "Cancel"
// does; system calls they interrupt go on.
void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int stoppedExitCode() {
  return kExitSignalBase + (stopSignal != 0 ? stopSignal : SIGINT);
}

const char* stopSignalName() {
  return stopSignal == SIGTERM ? "SIGTERM" : "SIGINT";
}

// Standard output, checked: every flush reports whether all of it was written.
class Output {
public:
  Output() : stream_(&buffer_) {}
  std::ostream& stream() { return stream_; }
  // Flushes; true when everything so far reached the output. Otherwise says why on standard
  // error (once).
  bool flushed() {
    stream_.flush();
    if (buffer_.error() == 0 && stream_.good())
      return true;
    if (!reported_)
      std::cerr << "zandrex-cli: cannot write the output: "
                << std::strerror(buffer_.error() != 0 ? buffer_.error() : EIO) << "\n";
    reported_ = true;
    return false;
  }

private:
  FdOutputBuffer buffer_{STDOUT_FILENO};
  std::ostream stream_;
  bool reported_ = false;
};

int usageError(const std::string& message) {
  std::cerr << "zandrex-cli: " << message << "\n\n" << kUsage;
  return kExitUsage;
}

std::optional<int> modeFromName(const std::string& name) {
  for (int mode = ByName; mode <= ByContent; ++mode)
    if (name == kModeNames[mode])
      return mode;
  return std::nullopt;
}

constexpr unsigned kMostReaders = 64;

// A reader count as given after --readers: digits only, 1 to kMostReaders.
std::optional<unsigned> readerCount(const std::string& text) {
  if (text.empty() || text.size() > 2 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const auto count = static_cast<unsigned>(std::stoul(text));
  if (count < 1 || count > kMostReaders)
    return std::nullopt;
  return count;
}

// Parses the arguments; returns an exit code when the command must end here.
std::optional<int> parse(int argc, char** argv, Options& options) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
      if (arg.empty())
        return usageError("a FOLDER is empty");
      options.folders.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      Output output;
      output.stream() << kUsage;
      return output.flushed() ? kExitDone : kExitError;
    }
    if (arg == "--null" || arg == "-0") {
      options.nullSeparated = true;
      continue;
    }
    if (arg == "--allow-system-folders") {
      options.allowSystemFolders = true;
      continue;
    }
    if (arg == "--no-cache") {
      options.digestCache = false;
      continue;
    }
    if (arg == "--json") {
      options.json = true;
      continue;
    }
    if (arg == "--csv") {
      options.csv = true;
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
        return usageError("unknown mode " + cli::quotedAlways(value) + " for --by");
      options.mode = *mode;
      continue;
    }
    if (arg == "--select" || arg.starts_with("--select=")) {
      std::string value =
          arg == "--select" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(9);
      if (!keepRuleFromName(value, options.keep))
        return usageError("unknown rule " + cli::quotedAlways(value) + " for --select");
      options.select = true;
      continue;
    }
    if (arg == "--min-size" || arg.starts_with("--min-size=")) {
      std::string value =
          arg == "--min-size" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(11);
      auto size = parseSizeText(value);
      if (!size)
        return usageError("not a size for --min-size: " + cli::quotedAlways(value) +
                          " (bytes, or a number followed by k, M or G)");
      options.filter.minSize = *size;
      continue;
    }
    if (arg == "--exclude" || arg.starts_with("--exclude=")) {
      std::string value =
          arg == "--exclude" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(10);
      const std::string problem = patternProblem(value);
      if (!problem.empty())
        return usageError("cannot use " + cli::quotedAlways(value) + " for --exclude: " + problem);
      options.filter.excludedNames.push_back(value);
      continue;
    }
    if (arg == "--delete" || arg == "--trash" || arg == "--link" || arg.starts_with("--link=")) {
      std::optional<ReclaimWay> way = ReclaimWay::Delete;
      if (arg == "--trash")
        way = ReclaimWay::Trash;
      if (arg == "--link" || arg.starts_with("--link=")) {
        std::string value =
            arg == "--link" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(7);
        way = cli::linkWayFromName(value);
        if (!way)
          return usageError("unknown link " + cli::quotedAlways(value) +
                            " for --link (hard or reflink)");
      }
      if (options.remove && options.way != *way)
        return usageError("--delete, --trash and --link exclude each other; give one of them");
      options.remove = true;
      options.way = *way;
      continue;
    }
    if (arg == "--protect" || arg.starts_with("--protect=")) {
      if (arg == "--protect" && i + 1 >= args.size())
        return usageError("--protect needs a folder");
      std::string value = arg == "--protect" ? args[++i] : arg.substr(10);
      if (value.empty())
        return usageError("the folder of --protect is empty");
      options.protectedFolders.push_back(std::move(value));
      continue;
    }
    if (arg == "--readers" || arg.starts_with("--readers=")) {
      const std::string value =
          arg == "--readers" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(10);
      const std::optional<unsigned> readers = readerCount(value);
      if (!readers)
        return usageError("--readers takes a number from 1 to " + std::to_string(kMostReaders));
      options.readers = *readers;
      continue;
    }
    return usageError("unknown option " + cli::quotedAlways(arg) +
                      " (a FOLDER that starts with \"-\" goes after --)");
  }
  if (options.folders.empty())
    return usageError("no FOLDER given");
  if (options.remove && !options.select)
    return usageError(std::string(cli::reclaimWords(options.way).option) +
                      " needs --select: say which copy of each group to keep");
  if (options.select && options.json)
    return usageError("--select prints paths; it does not combine with --json");
  if (options.nullSeparated && options.json)
    return usageError("--null and --json are two different outputs; give one of them");
  if (options.csv && (options.json || options.nullSeparated || options.select))
    return usageError("--csv is an output of its own; it does not combine with --json, --null "
                      "or --select");
  return std::nullopt;
}

// The folder's real path with a trailing "/", or an exit code after a message.
std::optional<std::string> resolveFolder(const std::string& folder, int& exitCode) {
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved)) {
    std::cerr << "zandrex-cli: cannot use " << cli::quotedAlways(folder) << ": "
              << std::strerror(errno) << "\n";
    exitCode = kExitUsage;
    return std::nullopt;
  }
  DIR* dir = opendir(resolved);
  if (!dir) {
    std::cerr << "zandrex-cli: " << cli::quotedAlways(folder)
              << " is not a readable folder: " << std::strerror(errno) << "\n";
    exitCode = kExitUsage;
    return std::nullopt;
  }
  closedir(dir);
  return withTrailingSlash(resolved);
}

// Each --protect folder must be a folder now (a link to one counts); otherwise a message and the
// usage exit code.
std::optional<int> checkProtectedFolders(const Options& options) {
  for (const std::string& folder : options.protectedFolders) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
      std::cerr << "zandrex-cli: cannot protect " << cli::quotedAlways(folder) << ": "
                << std::strerror(errno) << "\n";
      return kExitUsage;
    }
    if (!S_ISDIR(st.st_mode)) {
      std::cerr << "zandrex-cli: cannot protect " << cli::quotedAlways(folder)
                << ": not a folder\n";
      return kExitUsage;
    }
  }
  return std::nullopt;
}

// --delete in a system folder: a message and the exit code when it must not run. The guard
// looks at the real path, so a link to /etc counts as /etc.
std::optional<int> refuseSystemFolder(const std::string& source, const Options& options) {
  if (!options.remove || options.allowSystemFolders)
    return std::nullopt;
  std::string list = SystemFolder(source);
  if (list.empty())
    return std::nullopt;
  std::string folders;
  std::size_t from = 0;
  while (from < list.size()) {
    std::size_t end = list.find("\r\n", from);
    if (end == std::string::npos)
      end = list.size();
    folders += (folders.empty() ? "" : ", ") + cli::quotedName(list.substr(from, end - from));
    from = end + 2;
  }
  const std::string folder = source.size() > 1 ? source.substr(0, source.size() - 1) : source;
  std::cerr << "zandrex-cli: refusing to " << (options.way == ReclaimWay::Delete ? "delete" : "act")
            << " in a system folder: " << cli::quotedName(folder) << " is, contains or lies inside "
            << folders
            << "; nothing was searched or deleted (give --allow-system-folders to delete there "
               "anyway)\n";
  return kExitUsage;
}

// Ticks all but one file per group (only proven copies of the kept one), prints the ticked
// files and, with --delete, deletes them through the guarded deletion run and prints what was
// not deleted. The list is flushed before the first deletion; when it could not be written
// nothing is deleted.
int selectAndDelete(DuplicateFinder& core, const Options& options,
                    const cli::CliErrorPresenter& presenter, Output& output) {
  const cli::ReclaimWords words = cli::reclaimWords(options.way);
  const std::string nothingDone = "nothing was " + std::string(words.done);
  const SelectionResult result = core.keepOneInEachGroup(options.keep);
  if (presenter.errorShown())
    return kExitError;
  if (result.cancelled) {
    std::cerr << "zandrex-cli: cancelled by " << stopSignalName() << "; nothing was selected"
              << (options.remove ? " or " + std::string(words.done) + "\n" : "\n");
    return stoppedExitCode();
  }
  const ReportGrid& grid = core.grid();
  // The files to delete, in the order printed, with their paths kept for after the run.
  std::vector<std::pair<RecordId, std::string>> selected;
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (!row.isGroup() && grid.ticked(row.record)) {
      selected.emplace_back(row.record, core.fullPath(row.record));
      if (options.nullSeparated)
        output.stream() << selected.back().second << '\0';
      else
        output.stream() << cli::quotedName(selected.back().second) << '\n';
    }
  }
  if (!output.flushed()) {
    if (options.remove)
      std::cerr << "zandrex-cli: " << nothingDone << "\n";
    return kExitError;
  }
  std::cerr << tickedReport(result) << "\n";
  if (!options.remove)
    return kExitDone;
  if (cli::interruptRequested) {
    std::cerr << "zandrex-cli: cancelled by " << stopSignalName() << "; " << nothingDone << "\n";
    return stoppedExitCode();
  }

  // Told by the run itself: records are renumbered once it ends, so they cannot be looked up
  // afterwards.
  std::vector<std::string> deleted;
  core.setDeletionStepHook([&](RecordId record, std::string_view step) {
    if (step == "removed")
      deleted.push_back(core.fullPath(record));
  });
  core.reclaimTicked(options.way);
  core.setDeletionStepHook({});

  const bool stopped = cli::interruptRequested != 0;
  const bool failed = presenter.errorShown();
  // After a normal run the deleted files are the list less the "not deleted" lines; after a
  // stop or an error only these lines say which ones went.
  if (stopped || failed)
    for (const std::string& path : deleted)
      std::cerr << words.done << ": " << cli::quotedName(path) << "\n";
  const ReportGrid& failures = core.failures().grid();
  for (std::size_t i = 0; i < failures.recordCount(); ++i) {
    RecordId record = failures.recordAt(i);
    std::cerr << "not " << words.done << ": " << cli::quotedName(core.failures().fullPath(record))
              << ": " << failures.item(record, failcol::kReason).asText() << "\n";
  }
  const std::uint64_t deletedCount = deleted.size();
  const std::string deletedText =
      withThousands(deletedCount) + (deletedCount == 1 ? " file" : " files");
  if (stopped || failed) {
    const std::uint64_t notReached = selected.size() - deleted.size() - failures.recordCount();
    std::cerr << "zandrex-cli: "
              << (stopped ? std::string("cancelled by ") + stopSignalName()
                          : "an error ended the " + std::string(words.run))
              << ": " << words.done << " " << deletedText << " of "
              << withThousands(selected.size()) << " selected; "
              << withThousands(failures.recordCount()) << " not " << words.done << ", "
              << withThousands(notReached) << " not reached\n";
    return stopped ? stoppedExitCode() : kExitError;
  }
  std::cerr << words.summary << " " << deletedText << words.summaryTail << "; "
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
  std::vector<std::string> sources;
  for (const std::string& folder : options.folders) {
    auto source = resolveFolder(folder, exitCode);
    if (!source)
      return exitCode;
    if (auto code = refuseSystemFolder(*source, options))
      return *code;
    sources.push_back(*source);
  }
  if (auto code = checkProtectedFolders(options))
    return *code;

  installStopHandlers();
  cli::CliErrorPresenter presenter;
  setErrorPresenter(&presenter);
  MemorySettings settings;
  cli::CliView view(options.mode, options.subfolders, isatty(STDERR_FILENO) == 1);
  DuplicateFinder core(view, settings);
  if (!options.digestCache) {
    DigestCacheChoice noCache;
    noCache.enabled = false;
    core.setDigestCache(noCache);
  }
  core.setReaders(options.readers);
  view.attach(core);
  core.setUpGrid();
  core.setSources(sources);
  core.setFilter(options.filter);
  // A folder that passed the check but cannot be opened now would protect nothing.
  const std::vector<std::string> unopened = core.setProtectedFolders(options.protectedFolders);
  if (!unopened.empty()) {
    std::cerr << "zandrex-cli: cannot protect " << cli::quotedAlways(unopened.front())
              << ": it cannot be opened as a folder\n";
    return kExitUsage;
  }
  core.find();
  view.endProgress();
  // A stopped find's note says only that it was cancelled; this says by what.
  if (cli::interruptRequested) {
    std::cerr << "zandrex-cli: cancelled by " << stopSignalName() << "\n";
    return stoppedExitCode();
  }
  if (!core.findNote().empty())
    std::cerr << "zandrex-cli: " << core.findNote() << "\n";
  if (presenter.errorShown())
    return kExitError;
  Output output;
  if (options.select)
    return selectAndDelete(core, options, presenter, output);
  if (options.json)
    cli::printJson(output.stream(), core, options.mode);
  else if (options.csv)
    cli::printCsv(output.stream(), core);
  else if (options.nullSeparated)
    cli::printNullSeparated(output.stream(), core);
  else
    cli::printText(output.stream(), core);
  return output.flushed() ? kExitDone : kExitError;
}
