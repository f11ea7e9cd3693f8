// The spreadsheet application with each call timed under the phase of the
// export it belongs to (open, clear, lines, filter, fit rows, fit columns,
// store, quit), for the benchmarks that split an export's time by phase.
// Written cells go to the office in bands while they are written ("cells
// (client)"); the last band waits for the next request, which is preceded by
// one that only sends it, timed as "send cells". Ruled lines likewise wait
// for the next request and are sent the same way, timed as "lines". The rows of those bands
// have their heights adjusted by the first request that needs them, unless a
// row fit sets them first: with no formatting, that is the one before saving,
// timed as "adjust rows".
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "automation/excel.h"

namespace kestrin::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

using Phases = std::map<std::string, double>;

// What the office has yet to be sent: the phase to time the sending under,
// or null.
struct Unsent {
  const char* phase = nullptr;
};

class Timed {
 public:
  Timed(Phases& phases, const char* name) : phases_(phases), name_(name), start_(Clock::now()) {}
  Timed(const Timed&) = delete;
  Timed& operator=(const Timed&) = delete;
  ~Timed() { phases_[name_] += Seconds(start_); }

 private:
  Phases& phases_;
  const char* name_;
  Clock::time_point start_;
};

class TimedBorder : public automation::XlBorder {
 public:
  TimedBorder(std::unique_ptr<automation::XlBorder> in, Phases& p, Unsent& unsent)
      : in_(std::move(in)), p_(p), unsent_(unsent) {}
  void SetLineStyle(int v) override {
    Timed t(p_, "lines");
    in_->SetLineStyle(v);
    unsent_.phase = "lines";
  }
  void SetWeight(int v) override {
    Timed t(p_, "lines");
    in_->SetWeight(v);
    unsent_.phase = "lines";
  }
  void SetColorIndex(int v) override {
    Timed t(p_, "lines");
    in_->SetColorIndex(v);
    unsent_.phase = "lines";
  }

 private:
  std::unique_ptr<automation::XlBorder> in_;
  Phases& p_;
  Unsent& unsent_;
};

// A range, timed under the phase its use belongs to.
class TimedRange : public automation::XlRange {
 public:
  TimedRange(std::unique_ptr<automation::XlRange> in, Phases& p, Unsent& unsent, const char* fit)
      : in_(std::move(in)), p_(p), unsent_(unsent), fit_(fit) {}
  void Clear() override {
    Timed t(p_, "clear");
    in_->Clear();
  }
  void Select() override {
    Timed t(p_, "lines");
    in_->Select();
  }
  void AutoFilter() override {
    Timed t(p_, "filter");
    in_->AutoFilter();
  }
  void AutoFit() override {
    Timed t(p_, fit_);
    in_->AutoFit();
  }
  void SetValue(const automation::Value& v) override {
    Timed t(p_, "cells (client)");
    in_->SetValue(v);
  }
  std::unique_ptr<automation::XlBorder> Borders(int index) override {
    Timed t(p_, "lines");
    return std::make_unique<TimedBorder>(in_->Borders(index), p_, unsent_);
  }

 private:
  std::unique_ptr<automation::XlRange> in_;
  Phases& p_;
  Unsent& unsent_;
  const char* fit_;
};

class TimedWorkbook : public automation::XlWorkbook {
 public:
  TimedWorkbook(std::unique_ptr<automation::XlWorkbook> in, Phases& p)
      : in_(std::move(in)), p_(p) {}
  std::unique_ptr<automation::XlSheets> Sheets() override {
    Timed t(p_, "open");
    return in_->Sheets();
  }
  void Save() override {
    Timed t(p_, "store");
    in_->Save();
  }
  void Close(bool save) override { in_->Close(save); }

 private:
  std::unique_ptr<automation::XlWorkbook> in_;
  Phases& p_;
};

// The application, timing each call under its phase.
class TimedApp : public automation::XlApplication {
 public:
  TimedApp(std::shared_ptr<automation::XlApplication> in, Phases& p) : in_(std::move(in)), p_(p) {}
  void WorkbooksOpen(const std::string& path) override {
    Send();
    Timed t(p_, "open");
    in_->WorkbooksOpen(path);
  }
  std::unique_ptr<automation::XlWorkbook> ActiveWorkbook() override {
    Send();
    Timed t(p_, "open");
    return std::make_unique<TimedWorkbook>(in_->ActiveWorkbook(), p_);
  }
  std::unique_ptr<automation::XlSheet> ActiveSheet() override {
    Send();
    return in_->ActiveSheet();
  }
  void SetDisplayAlerts(bool on) override {
    Send();
    Timed t(p_, "adjust rows");
    in_->SetDisplayAlerts(on);
  }
  void Quit() override {
    Send();
    Timed t(p_, "quit");
    in_->Quit();
  }
  void SetVisible(bool on) override {
    Send();
    in_->SetVisible(on);
  }
  void Goto(std::string_view reference) override {
    Timed t(p_, "cells (client)");
    unsent_.phase = "send cells";
    in_->Goto(reference);
  }
  std::unique_ptr<automation::XlRange> ActiveCell() override {
    Timed t(p_, "cells (client)");
    return std::make_unique<TimedRange>(in_->ActiveCell(), p_, unsent_, "other");
  }
  std::unique_ptr<automation::XlRange> Selection() override {
    Send();
    Timed t(p_, "lines");
    return std::make_unique<TimedRange>(in_->Selection(), p_, unsent_, "other");
  }
  std::unique_ptr<automation::XlRange> Range(std::string_view address) override {
    Send();
    return std::make_unique<TimedRange>(in_->Range(address), p_, unsent_, "other");
  }
  std::unique_ptr<automation::XlRange> Rows(std::string_view span) override {
    Send();
    return std::make_unique<TimedRange>(in_->Rows(span), p_, unsent_, "fit rows");
  }
  std::unique_ptr<automation::XlRange> Columns(std::string_view span) override {
    Send();
    return std::make_unique<TimedRange>(in_->Columns(span), p_, unsent_, "fit columns");
  }

 private:
  void Send() {
    if (unsent_.phase == nullptr) return;
    Timed t(p_, unsent_.phase);
    unsent_.phase = nullptr;
    in_->ActiveWorkbook();
  }

  std::shared_ptr<automation::XlApplication> in_;
  Phases& p_;
  Unsent unsent_;
};

}  // namespace kestrin::bench
