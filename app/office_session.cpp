#include "app/office_session.h"

#include "automation/failure.h"
#include "automation/messages.h"
#include "workbook/office_close_down.h"

namespace kestrin::app {

using automation::AutomationError;
using automation::XlApplication;

namespace {

// A workbook reached through the session: closing it is counted.
class Workbook : public automation::XlWorkbook {
 public:
  Workbook(int& open_count, std::unique_ptr<automation::XlWorkbook> book)
      : open_count_(open_count), book_(std::move(book)) {}
  std::unique_ptr<automation::XlSheets> Sheets() override { return book_->Sheets(); }
  void Save() override { book_->Save(); }
  void Close(bool save_changes) override {
    book_->Close(save_changes);
    if (open_count_ > 0) --open_count_;
  }

 private:
  int& open_count_;
  std::unique_ptr<automation::XlWorkbook> book_;
};

}  // namespace

// What the window holds as XlApp: the session's office, except that Quit
// closes the pattern's workbook instead of ending the office.
class OfficeSession::Handle : public XlApplication {
 public:
  Handle(OfficeSession& session, std::shared_ptr<XlApplication> office)
      : session_(session), office_(std::move(office)) {}

  void WorkbooksOpen(const std::string& path) override {
    Live().WorkbooksOpen(path);
    ++session_.open_workbooks_;
  }
  std::unique_ptr<automation::XlWorkbook> ActiveWorkbook() override {
    return std::make_unique<Workbook>(session_.open_workbooks_, Live().ActiveWorkbook());
  }
  std::unique_ptr<automation::XlSheet> ActiveSheet() override { return Live().ActiveSheet(); }
  void SetDisplayAlerts(bool on) override { Live().SetDisplayAlerts(on); }
  void Quit() override {
    XlApplication& office = Live();
    quit_ = true;
    if (session_.open_workbooks_ > 0) {
      office.ActiveWorkbook()->Close(false);
      --session_.open_workbooks_;
    }
  }
  void SetVisible(bool on) override {
    Live().SetVisible(on);
    if (on) session_.shown_ = true;
  }
  void Goto(std::string_view reference) override { Live().Goto(reference); }
  std::unique_ptr<automation::XlRange> ActiveCell() override { return Live().ActiveCell(); }
  std::unique_ptr<automation::XlRange> Selection() override { return Live().Selection(); }
  std::unique_ptr<automation::XlRange> Range(std::string_view address) override {
    return Live().Range(address);
  }
  std::unique_ptr<automation::XlRange> Rows(std::string_view span) override {
    return Live().Rows(span);
  }
  std::unique_ptr<automation::XlRange> Columns(std::string_view span) override {
    return Live().Columns(span);
  }

 private:
  XlApplication& Live() {
    if (quit_) {
      throw AutomationError(automation::errnum::kObjectNotSet, automation::msg::kApplicationQuit());
    }
    return *office_;
  }

  OfficeSession& session_;
  std::shared_ptr<XlApplication> office_;
  bool quit_ = false;
};

OfficeSession::OfficeSession(std::unique_ptr<automation::XlServer> real, bool office_on_screen)
    : real_(std::move(real)), on_screen_(office_on_screen) {}

OfficeSession::~OfficeSession() {
  try {
    Finish();
  } catch (const std::exception&) {
    // A destructor passes nothing on; RunPatterns finishes its session
    // itself and reports what goes wrong there.
  }
}

std::shared_ptr<XlApplication> OfficeSession::Share() {
  return std::make_shared<Handle>(*this, office_);
}

std::shared_ptr<XlApplication> OfficeSession::GetObject() {
  if (!office_) office_ = real_->GetObject();
  return Share();
}

std::shared_ptr<XlApplication> OfficeSession::CreateObject() {
  if (!office_) {
    office_ = real_->CreateObject();
    started_ = true;
  }
  return Share();
}

void OfficeSession::EndPattern() {
  if (!office_ || !started_ || on_screen_) return;
  try {
    office_->SetDisplayAlerts(false);
    while (open_workbooks_ > 0) {
      --open_workbooks_;
      office_->ActiveWorkbook()->Close(false);
    }
  } catch (const AutomationError&) {
    // The office may have failed; Finish() still ends it.
  }
  open_workbooks_ = 0;
}

void OfficeSession::Finish() {
  if (!office_) return;
  std::shared_ptr<XlApplication> office = std::move(office_);
  if (!started_ || (on_screen_ && shown_)) return;
  // An office that cannot be asked to end is ended by its engine.
  workbook::CloseDownOffice(*office);
}

}  // namespace kestrin::app
