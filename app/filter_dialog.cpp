#include "filter_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zandrex::desktop {

namespace {

constexpr const char* kTitle = "Filters";
constexpr const char* kSizeCaption = "Leave out files smaller than:";
constexpr const char* kSizeHint = "0 (keep all), or e.g. 4096, 512k, 1M, 2G";
constexpr const char* kPatternsCaption = "Leave out files and folders named (one pattern a line):";
constexpr const char* kPatternsHint = "*.tmp\nnode_modules\n.~lock.*";
constexpr const char* kPatternsNote =
    "Patterns match a name, not a path: * and ? match any characters, [abc] one of them. A "
    "folder left out is not searched; the folder chosen to search always is.";
// Lines of patterns the box shows without scrolling.
constexpr int kPatternLinesShown = 6;

QString patternLines(const std::vector<std::string>& patterns) {
  QStringList lines;
  for (const std::string& pattern : patterns)
    lines << QString::fromStdString(pattern);
  return lines.join('\n');
}

} // namespace

FilterDialog::FilterDialog(const ScanFilter& filter, QWidget* owner)
    : QDialog(owner), filter_(filter) {
  setObjectName("FilterDialog");
  setWindowTitle(kTitle);
  setModal(true);

  minimumSize_ = new QLineEdit(this);
  minimumSize_->setObjectName("fdMinimumSize");
  minimumSize_->setPlaceholderText(kSizeHint);
  if (filter.minSize > 0)
    minimumSize_->setText(QString::fromStdString(sizeText(filter.minSize)));

  patterns_ = new QPlainTextEdit(this);
  patterns_->setObjectName("fdPatterns");
  patterns_->setPlaceholderText(kPatternsHint);
  patterns_->setTabChangesFocus(true);
  patterns_->setPlainText(patternLines(filter.excludedNames));
  patterns_->setMinimumHeight(patterns_->fontMetrics().lineSpacing() * kPatternLinesShown);

  auto* note = new QLabel(kPatternsNote, this);
  note->setObjectName("lblPatternsNote");
  note->setWordWrap(true);

  problem_ = new QLabel(this);
  problem_->setObjectName("lblProblem");
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #b00000;");
  problem_->setVisible(false);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  okButton_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &FilterDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &FilterDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(kSizeCaption, minimumSize_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(new QLabel(kPatternsCaption, this));
  layout->addWidget(patterns_);
  layout->addWidget(note);
  layout->addWidget(problem_);
  layout->addWidget(buttons);
}

void FilterDialog::accept() {
  ScanFilter edited;
  const std::string sizeText = minimumSize_->text().trimmed().toStdString();
  const std::optional<std::uint64_t> size =
      sizeText.empty() ? std::optional<std::uint64_t>(0) : parseSizeText(sizeText);
  if (!size) {
    problem_->setText("Not a size: \"" + QString::fromStdString(sizeText) +
                      "\" (bytes, or a number followed by k, M or G).");
    problem_->setVisible(true);
    minimumSize_->setFocus();
    return;
  }
  edited.minSize = *size;
  for (const QString& line : patterns_->toPlainText().split('\n')) {
    // Blank lines are spacing; blanks around a pattern are kept, since names may hold them.
    if (line.trimmed().isEmpty())
      continue;
    const std::string pattern = line.toStdString();
    const std::string problem = patternProblem(pattern);
    if (!problem.empty()) {
      problem_->setText(QString::fromStdString("Cannot use \"" + pattern + "\": " + problem + "."));
      problem_->setVisible(true);
      patterns_->setFocus();
      return;
    }
    edited.excludedNames.push_back(pattern);
  }
  filter_ = std::move(edited);
  QDialog::accept();
}

} // namespace zandrex::desktop
