// frmAbout: the About box. A modeless dialog that deletes itself when it
// closes (OK, Escape or the window's close button), so whoever opens it
// keeps a QPointer and creates a fresh box the next time. The mail and
// home-page labels hand the project's addresses to the desktop.
#pragma once

#include <QDialog>

#include "ui/version.h"

class QFrame;
class QLabel;
class QPushButton;

namespace kestrin::app {

class Desktop;

// The project's credit and licence lines and contact points shown and opened
// by the box.
inline constexpr const char* kAboutCaption = "Kestrin Ver" KESTRIN_VERSION;
inline constexpr const char* kCreditLine = "© " KESTRIN_COPYRIGHT;
inline constexpr const char* kLicenceLine = KESTRIN_LICENCE;
inline constexpr const char* kMailAddress = "kestrin@example.org";
inline constexpr const char* kHomePage = "https://kestrin.example.org/";

class FrmAbout final : public QDialog {
 public:
  // A new, hidden box, owned by `parent` (when given) until it closes and
  // deletes itself. `desktop` must outlive the box.
  static FrmAbout* Create(Desktop& desktop, QWidget* parent = nullptr);

  // OK: closes and unloads the box.
  void cmdAbout_Click();
  // Opens a new mail to kMailAddress.
  void Label6_Click();
  // Opens kHomePage in the browser.
  void Label8_Click();

  QFrame* fraAbout;
  QLabel* lblAbout;
  QLabel* Label1;
  QLabel* lblLicence;
  QLabel* Label6;
  QLabel* Label8;
  QPushButton* cmdAbout;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FrmAbout(Desktop& desktop, QWidget* parent);

  Desktop& desktop_;
};

}  // namespace kestrin::app
