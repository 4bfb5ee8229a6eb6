#include "list_saver.h"

#include "errors/err_trap.h"
#include "listing/list_writer.h"
#include "local_path.h"
#include "platform/whole_file.h"
#include "select/group_stats.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace zandrex::desktop {

namespace {

constexpr const char* kSaveDialogTitle = "Save list";
constexpr const char* kCsvExtension = ".csv";
constexpr const char* kJsonExtension = ".json";

std::size_t fileRows(const ReportGrid& grid) {
  std::size_t files = 0;
  for (std::size_t i = 0; i < grid.rowCount(); ++i)
    files += grid.row(i).isGroup() ? 0 : 1;
  return files;
}

} // namespace

ListSaver::ListSaver(DuplicateFinder& core, QWidget* owner)
    : QObject(owner), core_(core), owner_(owner) {
  chooseFile = [this](const QString& start) {
    ChosenFile chosen;
    const QString filters = QString::fromUtf8(kCsvFilter) + ";;" + QString::fromUtf8(kJsonFilter);
    chosen.path = QFileDialog::getSaveFileName(owner_, QString::fromUtf8(kSaveDialogTitle), start,
                                               filters, &chosen.filter);
    return chosen;
  };
  showError = [](const QString&) {};
  report = [](const QString&) {};
  action_ = new QAction(QString::fromUtf8(kSaveListCaption), this);
  action_->setObjectName("actSaveList");
  connect(action_, &QAction::triggered, this, [this] { chooseAndSave(); });
}

void ListSaver::chooseAndSave() {
  if (core_.busy())
    return;
  trapEvent("Form1.mnuSaveList_Click", [&] {
    const QString start = lastFolder_.isEmpty() ? localPath(core_.scannedSource()) : lastFolder_;
    const ChosenFile chosen = chooseFile(start);
    if (!chosen.path.isEmpty())
      saveTo(chosen.path, chosen.filter);
  });
}

bool ListSaver::saveTo(QString path, const QString& filter) {
  const bool json = filter == QString::fromUtf8(kJsonFilter);
  const QString extension = QString::fromUtf8(json ? kJsonExtension : kCsvExtension);
  if (!path.endsWith(extension, Qt::CaseInsensitive))
    path += extension;
  const ReportGrid& grid = core_.grid();
  const std::string error = writeWholeFile(localPath(path), [&](std::ostream& out) {
    const ProtectedTest isProtected = [this](RecordId record) { return core_.isProtected(record); };
    if (json)
      writeJson(out, grid, core_.scannedSources(), kModeNames[modeOfRows(grid)], isProtected);
    else
      writeCsv(out, grid, isProtected);
  });
  if (!error.empty()) {
    showError(QStringLiteral("The list could not be saved to %1: %2")
                  .arg(path, QString::fromStdString(error)));
    return false;
  }
  lastFolder_ = QFileInfo(path).absolutePath();
  const std::size_t files = fileRows(grid);
  report(QString::fromStdString("Saved " + withThousands(files) +
                                (files == 1 ? " file" : " files") + " to ") +
         path);
  return true;
}

} // namespace zandrex::desktop
