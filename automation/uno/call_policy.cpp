#include "automation/uno/call_policy.h"

#include <utility>

#include <com/sun/star/util/XProtectable.hpp>

#include "automation/messages.h"
#include "automation/uno/office_words.h"
#include "automation/uno/uno_util.h"
#include "automation/uno/workbooks.h"

namespace kestrin::automation::uno {

using css::uno::Reference;
using css::uno::UNO_QUERY;

CallPolicy::CallPolicy(std::chrono::milliseconds limit, OfficeProcess* process,
                       OfficeConnection& connection,
                       css::uno::Reference<css::frame::XDesktop2> desktop, Workbooks& books)
    : limit_(limit),
      process_(process),
      desktop_(std::move(desktop)),
      books_(books),
      watchdog_(std::make_unique<Watchdog>([&connection, process] {
        connection.Close();
        if (process) process->Kill();
      })) {}

CallPolicy::~CallPolicy() { watchdog_.reset(); }

CallPolicy::Armed::Armed(CallPolicy& p, bool changes) : policy(p), changes_cells(changes) {
  policy.watchdog_->Arm(policy.limit_);
}

CallPolicy::Armed::~Armed() {
  policy.watchdog_->Disarm();
  if (changes_cells) ++policy.changes_;
}

void CallPolicy::CheckAlive(const Task& task) {
  if (ended_) throw AutomationError(kDisconnected, msg::kOfficeQuitOrLost({Describe(task, false)}));
  if (process_ && !process_->Alive()) {
    Lose();
    throw AutomationError(kDisconnected, msg::kOfficeEnded({Describe(task, false)}));
  }
}

std::string CallPolicy::Describe(const Task& task, bool office_answers) {
  std::string text = task.action;
  if (task.sheet.is() && office_answers) {
    try {
      text = msg::kOfficeOnSheet({SheetName(task.sheet), text});
    } catch (const css::uno::Exception&) {
    }
  }
  if (task.doc.is()) {
    if (const Book* book = books_.Find(task.doc)) {
      text = msg::kOfficeInBook({book->path.filename().string(), text});
    }
  }
  return text;
}

void CallPolicy::Fail(const Task& task, const css::uno::Exception& e) {
  // A lost bridge shows as DisposedException or as a plain RuntimeException:
  // ask the desktop whether the office still answers (within the limit).
  bool office_gone = (process_ && !process_->Alive()) || !BridgeAlive();
  if (watchdog_->Fired()) {
    Lose();
    throw AutomationError(
        kCallTimedOut,
        msg::kOfficeTimedOut({Describe(task, false), std::to_string(limit_.count() / 1000),
                              process_ ? msg::kOfficeStopped() : msg::kOfficeLetGo()}));
  }
  if (office_gone) {
    Lose();
    throw AutomationError(kDisconnected, msg::kOfficeCrashed({Describe(task, false)}));
  }
  // The office is there; an object may be gone because a workbook was
  // closed in the office behind the program's back. Forget such workbooks
  // (after naming the task, which may need them).
  std::string what = Describe(task, true);
  std::string words = OfficeWords(FromOU(e.Message));
  if (words.empty() && task.sheet.is()) {
    // The office refuses changes to a protected sheet without saying why.
    try {
      Reference<css::util::XProtectable> protection(task.sheet, UNO_QUERY);
      if (protection.is() && protection->isProtected()) words = msg::kOfficeSheetProtected();
    } catch (const css::uno::Exception&) {
    }
  }
  if (books_.ForgetClosed()) throw AutomationError(kAppDefined, msg::kOfficeBookGone({what}));
  throw AutomationError(kAppDefined, words.empty() ? msg::kOfficeFailed({what})
                                                   : msg::kOfficeFailedWhy({what, words}));
}

void CallPolicy::Lose() {
  ended_ = true;
  if (on_lost_) on_lost_();
}

bool CallPolicy::BridgeAlive() {
  try {
    desktop_->getCurrentFrame();
    return true;
  } catch (const css::uno::Exception&) {
    return false;
  }
}

}  // namespace kestrin::automation::uno
