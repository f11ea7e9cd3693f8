// Attach-or-start doubles: servers whose running instance a test chooses,
// that count how often a new instance was created, and an Access
// application that opens FakeDatabases registered by path.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "automation/access.h"
#include "automation/excel.h"
#include "automation/failure.h"
#include "tests/doubles/fake_access.h"
#include "tests/doubles/fake_excel.h"

namespace kestrin::testing {

class FakeAccessApplication : public automation::AccessApplication {
 public:
  // A database file that OpenCurrentDatabase can open.
  void AddFile(const std::string& path, std::shared_ptr<FakeDatabase> db) { files_[path] = db; }

  void OpenCurrentDatabase(const std::string& path, bool exclusive) override {
    auto it = files_.find(path);
    if (it == files_.end()) {
      throw automation::AutomationError(7866, "Cannot open database '" + path + "'.");
    }
    last_exclusive = exclusive;
    current_ = it->second;
  }
  void CloseCurrentDatabase() override {
    ++closes;
    current_.reset();
  }
  std::shared_ptr<automation::DaoDatabase> CurrentDatabase() override {
    if (!current_) {
      throw automation::AutomationError(automation::errnum::kObjectNotSet,
                                        "Object variable or With block variable not set");
    }
    return current_;
  }

  bool last_exclusive = true;
  int closes = 0;

 private:
  std::map<std::string, std::shared_ptr<FakeDatabase>> files_;
  std::shared_ptr<FakeDatabase> current_;
};

// One server double for either side. `running` is what GetObject attaches
// to (none when empty); `make` creates new instances, or fails when empty.
template <class Server, class App, class Fake>
class FakeServer : public Server {
 public:
  std::shared_ptr<App> GetObject() override {
    if (!running) throw automation::AutomationError(429, "ActiveX component can't create object");
    return running;
  }
  std::shared_ptr<App> CreateObject() override {
    if (!make) throw automation::AutomationError(429, "ActiveX component can't create object");
    ++created;
    return make();
  }

  std::shared_ptr<Fake> running;
  std::function<std::shared_ptr<Fake>()> make = [] { return std::make_shared<Fake>(); };
  int created = 0;
};

using FakeAccessServer =
    FakeServer<automation::AccessServer, automation::AccessApplication, FakeAccessApplication>;
using FakeXlServer = FakeServer<automation::XlServer, automation::XlApplication, FakeExcel>;

}  // namespace kestrin::testing
