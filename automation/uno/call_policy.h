// The one road every request to the office takes. CallPolicy::Call()
// - fails at once when the office has been quit or lost, or when the office
//   this program started has died;
// - first sends the writes kept on this side (unless the request leaves them
//   pending), so that the office sees everything in the program's order;
// - counts the requests that may change cells, so that what is remembered of
//   written cells goes stale by itself (WrittenBlocks);
// - gives the request the call time limit, after which a private office is
//   killed and an attached one let go;
// - turns every failure into an AutomationError that says what failed in the
//   user's terms: the office gone or timed out (every later call then fails
//   too), a workbook closed behind the program's back, or a refusal (1004).
// Internal to automation/uno/.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include "automation/failure.h"
#include "automation/uno/office_process.h"
#include "automation/uno/uno_runtime.h"

namespace kestrin::automation::uno {

class Workbooks;

// What a request does, in the user's terms, for the description of its
// failure, as a noun phrase ("セル B3:F103 の消去"); the sheet and the workbook
// go before it when they are given (their names are looked up only then).
struct Task {
  Task(const char* action) : action(action) {}
  Task(std::string action) : action(std::move(action)) {}
  Task(std::string action, css::uno::Reference<css::sheet::XSpreadsheetDocument> doc,
       css::uno::Reference<css::sheet::XSpreadsheet> sheet = {})
      : action(std::move(action)), doc(std::move(doc)), sheet(std::move(sheet)) {}
  std::string action;
  css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;
  css::uno::Reference<css::sheet::XSpreadsheet> sheet;
};

// What a request leaves alone, as flags for Call(). A request that says
// nothing is taken to need the pending writes sent and to change cells:
// forgetting a flag costs speed, never correctness.
enum Leaves : unsigned {
  kLeavesNothing = 0,
  // The writes kept on this side stay pending: the request neither reads
  // nor overwrites what they will write (keeping a ruled line, selecting the
  // cell the next value goes to).
  kLeavesPending = 1u << 0,
  // No cell's value, number format or font changes but through the pending
  // writes (reading, selecting, showing, saving, lines, filters, sending a
  // band of cells): the blocks written before stay true.
  kLeavesCells = 1u << 1,
  // Rows whose heights the pending writes left for later may stay so: the
  // request neither reads nor shows row heights, nor saves them (selecting,
  // ruled lines, filters, finding a range or a sheet, a row fit that sets
  // them anyway).
  kLeavesRowHeights = 1u << 2,
};

class CallPolicy {
 public:
  // `process` is null for an office this program attached to. `books` names
  // workbooks in descriptions and loses those the office closed.
  // `desktop` is the office's, asked whether the office still answers.
  CallPolicy(std::chrono::milliseconds limit, OfficeProcess* process, OfficeConnection& connection,
             css::uno::Reference<css::frame::XDesktop2> desktop, Workbooks& books);
  CallPolicy(const CallPolicy&) = delete;
  CallPolicy& operator=(const CallPolicy&) = delete;
  ~CallPolicy();

  // Called before every request that does not leave pending writes alone,
  // with the request's Leaves flags.
  void SetFlush(std::function<void(unsigned leaves)> flush) { flush_ = std::move(flush); }
  // Called once the office is found gone: ended, lost or timed out.
  void SetOnLost(std::function<void()> on_lost) { on_lost_ = std::move(on_lost); }

  // Runs one request under the policy; `leaves` is a set of Leaves flags.
  template <class F>
  auto Call(const Task& task, F&& f) -> decltype(f()) {
    return Call(task, kLeavesNothing, std::forward<F>(f));
  }
  template <class F>
  auto Call(const Task& task, unsigned leaves, F&& f) -> decltype(f()) {
    CheckAlive(task);
    Armed armed(*this, (leaves & kLeavesCells) == 0);
    try {
      if ((leaves & kLeavesPending) == 0 && flush_) flush_(leaves);
      return f();
    } catch (const AutomationError&) {
      throw;
    } catch (const css::uno::Exception& e) {
      Fail(task, e);
    }
  }

  // Turns a failed request into the AutomationError that fits. Also for
  // requests sent on behalf of others (pending writes), with their own task.
  [[noreturn]] void Fail(const Task& task, const css::uno::Exception& e);

  // Requests so far that may have changed cells.
  std::uint64_t changes() const { return changes_; }
  // True once the office was quit or lost: every request fails.
  bool ended() const { return ended_; }
  void End() { ended_ = true; }

 private:
  // A request under way: its time limit runs, and once it is over, however
  // it ended, it counts as a change when it may have changed cells.
  struct Armed {
    Armed(CallPolicy& policy, bool changes_cells);
    ~Armed();
    CallPolicy& policy;
    bool changes_cells;
  };

  void CheckAlive(const Task& task);
  void Lose();
  // "ブック 'Report.xls' のシート 'Sales' のセル B3:F103 の消去"; the
  // sheet's name is asked of the office only when `office_answers`.
  std::string Describe(const Task& task, bool office_answers);
  bool BridgeAlive();

  std::chrono::milliseconds limit_;
  OfficeProcess* process_;
  css::uno::Reference<css::frame::XDesktop2> desktop_;
  Workbooks& books_;
  std::function<void(unsigned)> flush_;
  std::function<void()> on_lost_;
  std::uint64_t changes_ = 0;
  bool ended_ = false;
  // Its thread may touch the connection and the process: both outlive it.
  std::unique_ptr<Watchdog> watchdog_;
};

}  // namespace kestrin::automation::uno
