#include "protected_folders_dialog.h"

#include "local_path.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zandrex::desktop {

namespace {

constexpr const char* kExplanation =
    "Files in these folders, and in every folder below them, are listed as usual but never "
    "ticked by the helpers and never deleted.";
// Wide enough for the usual folder path; a longer one scrolls.
constexpr int kListMinimumWidth = 420;

// The bytes of a folder are kept in the item: its text is for showing only.
constexpr int kPathRole = Qt::UserRole;

} // namespace

ProtectedFoldersDialog::ProtectedFoldersDialog(const std::vector<std::string>& folders,
                                               std::function<QString(const QString&)> chooseFolder,
                                               QWidget* owner)
    : QDialog(owner), chooseFolder_(std::move(chooseFolder)) {
  setObjectName("frmProtectedFolders");
  setWindowTitle(kProtectedFoldersTitle);
  setModal(true);

  auto* explanation = new QLabel(kExplanation, this);
  explanation->setWordWrap(true);
  list_ = new QListWidget(this);
  list_->setObjectName("lstProtected");
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setMinimumWidth(kListMinimumWidth);
  for (const std::string& folder : folders) {
    auto* item = new QListWidgetItem(localPath(folder), list_);
    item->setData(kPathRole, QByteArray::fromStdString(folder));
  }

  bnAdd_ = new QPushButton("Add...", this);
  bnAdd_->setObjectName("bnAdd");
  bnRemove_ = new QPushButton("Remove", this);
  bnRemove_->setObjectName("bnRemove");
  bnRemove_->setEnabled(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* side = new QVBoxLayout;
  side->addWidget(bnAdd_);
  side->addWidget(bnRemove_);
  side->addStretch();
  auto* middle = new QHBoxLayout;
  middle->addWidget(list_, 1);
  middle->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explanation);
  layout->addLayout(middle, 1);
  layout->addWidget(buttons);

  connect(bnAdd_, &QPushButton::clicked, this, [this] { addFolder(); });
  connect(bnRemove_, &QPushButton::clicked, this, [this] { removeSelected(); });
  connect(list_, &QListWidget::itemSelectionChanged, this,
          [this] { bnRemove_->setEnabled(!list_->selectedItems().isEmpty()); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::vector<std::string> ProtectedFoldersDialog::folders() const {
  std::vector<std::string> out;
  for (int row = 0; row < list_->count(); ++row)
    out.push_back(list_->item(row)->data(kPathRole).toByteArray().toStdString());
  return out;
}

void ProtectedFoldersDialog::addFolder() {
  const QListWidgetItem* current = list_->currentItem();
  const QString chosen = chooseFolder_(current ? current->text() : QString());
  if (chosen.isEmpty())
    return;
  const std::string folder = localPath(chosen);
  for (int row = 0; row < list_->count(); ++row) {
    if (list_->item(row)->data(kPathRole).toByteArray().toStdString() == folder) {
      list_->setCurrentRow(row);
      return;
    }
  }
  auto* item = new QListWidgetItem(chosen, list_);
  item->setData(kPathRole, QByteArray::fromStdString(folder));
  list_->setCurrentItem(item);
}

void ProtectedFoldersDialog::removeSelected() {
  // From the last row up, so the rows still to take keep their numbers.
  for (int row = list_->count(); row-- > 0;)
    if (list_->item(row)->isSelected())
      delete list_->takeItem(row);
}

} // namespace zandrex::desktop
