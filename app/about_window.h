// "About Zandrex": version, legal lines, web site and support links.
#pragma once

#include <QDialog>

namespace zandrex::desktop {

class Form10 : public QDialog {
  Q_OBJECT
public:
  explicit Form10(QWidget* owner = nullptr);
};

} // namespace zandrex::desktop
