// "About Zandrex": version, legal lines, web site and support links.
#pragma once

#include <QDialog>

namespace zandrex::desktop {

class Form10 : public QDialog {
  Q_OBJECT
public:
  explicit Form10(QWidget* owner = nullptr);
  ~Form10() override;

  // OK, the close box and Escape all end here: the window unloads.
  void done(int result) override;

private:
  void Form_Load();
  void Label4_Click();
  void Label5_Click();
  void bnOK_Click();
};

} // namespace zandrex::desktop
