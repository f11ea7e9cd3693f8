// One office for a run of several patterns.
//
// Each pattern of an unattended run is exported as if it ran alone: it
// attaches to or starts the spreadsheet application, and with Display 1 the
// export saves the workbook and quits the application. Starting the office
// again for every pattern would cost several seconds each, so the run hands
// the window this server instead: the first attach or start reaches the
// real office, later ones get the same office back, and quitting it only
// closes the workbook the pattern opened. Finish() ends the session: an
// office the session started is ended when nobody can reach it (no display)
// or when it holds no workbook on screen; an office it attached to is left
// alone.
#pragma once

#include <memory>

#include "automation/excel.h"

namespace kestrin::app {

class OfficeSession : public automation::XlServer {
 public:
  // `office_on_screen`: whether the office can show a workbook to the user.
  OfficeSession(std::unique_ptr<automation::XlServer> real, bool office_on_screen);
  ~OfficeSession() override;

  std::shared_ptr<automation::XlApplication> GetObject() override;
  std::shared_ptr<automation::XlApplication> CreateObject() override;

  // Ends a pattern: without a screen, a workbook the pattern left open in an
  // office of the session's own is closed unsaved (nobody could reach it).
  void EndPattern();
  // Ends the session as the class comment says. A failure the office
  // reports is ignored; an internal fault of the program is passed on (the
  // destructor, which finishes a session not yet finished, drops it).
  void Finish();

  // True once the session has started an office of its own.
  bool started_office() const { return started_; }

 private:
  class Handle;
  std::shared_ptr<automation::XlApplication> Share();

  std::unique_ptr<automation::XlServer> real_;
  bool on_screen_;
  std::shared_ptr<automation::XlApplication> office_;
  bool started_ = false;
  bool shown_ = false;      // a workbook was shown to the user
  int open_workbooks_ = 0;  // opened through the session and not closed
};

}  // namespace kestrin::app
