// What the export session asks of whoever shows the export settings: the
// main window, or nobody at all in an unattended run (HeadlessView).
//
// The session decides what happens and in which order, and shows every
// message; a view only puts values into its controls, tells what its
// controls hold, and shows the busy state and the progress. Settings are
// named by their member of ExportSettings, so a view maps each setting to
// the control that shows it.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_settings.h"
#include "ui/progress.h"

namespace kestrin::app {

using exporting::NumberSetting;
using exporting::Setting;
using exporting::TextSetting;

class SessionView {
 public:
  SessionView() = default;
  SessionView(const SessionView&) = delete;
  SessionView& operator=(const SessionView&) = delete;
  virtual ~SessionView() = default;

  // Puts the setting's current value into the control that shows it: a
  // text as it is, a number in decimal; an option pair selects the button
  // of that index and a check box is checked when the value is 1, each
  // running its click handler. TblName goes into the box of the current
  // TblKbn. The caller has made sure that an option's value names a button.
  virtual void Show(Setting setting) = 0;
  // The text the control of a captured setting holds now: a path label's
  // caption, a box's text; TblName from the box of the current TblKbn.
  virtual std::string Shown(Setting setting) const = 0;
  // True when the "on" button (index 1) of the option pair of GridF or
  // PivotF is selected.
  virtual bool Chosen(NumberSetting option) const = 0;

  // A database was opened or a pattern loaded: the controls that wait for
  // a database are enabled, and the sheet list waits for a workbook.
  virtual void UnlockChoices() = 0;
  // A workbook was opened: the sheet list can be used.
  virtual void EnableSheetList() = 0;
  // The frame of the formatting (GridF) or pivot (PivotF) choices off.
  virtual void DisableFrameOf(NumberSetting option) = 0;

  // The gauge at `percent` of its length; at 100 the counts also show
  // their final figures.
  virtual void GuageVis(std::int16_t percent) = 0;
  // The status box: a text ending in "中" while something runs; empty
  // clears it. Shown at once.
  virtual void ShowStatus(const std::string& text) = 0;
  // The wait pointer and the window disabled, and back.
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
  // The display the export engine updates record by record.
  virtual ui::ProgressDisplay& Progress() = 0;
};

// The view of a run that nobody watches: its controls hold exactly the
// settings (what loading a pattern puts into them), showing changes nothing,
// and the progress goes to the display given.
class HeadlessView : public SessionView {
 public:
  HeadlessView(const exporting::ExportSettings& settings, ui::ProgressDisplay& progress)
      : settings_(settings), progress_(progress) {}

  void Show(Setting) override {}
  std::string Shown(Setting setting) const override {
    return exporting::SettingText(settings_, setting);
  }
  bool Chosen(NumberSetting option) const override { return settings_.*option == 1; }
  void UnlockChoices() override {}
  void EnableSheetList() override {}
  void DisableFrameOf(NumberSetting) override {}
  void GuageVis(std::int16_t) override {}
  void ShowStatus(const std::string&) override {}
  void BeginBusy() override {}
  void EndBusy() override {}
  ui::ProgressDisplay& Progress() override { return progress_; }

 private:
  const exporting::ExportSettings& settings_;
  ui::ProgressDisplay& progress_;
};

}  // namespace kestrin::app
