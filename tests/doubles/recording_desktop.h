// A desktop that records what the program asked it to open or start, with
// the programs it pretends to have installed and the answers it gives.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/desktop.h"

namespace kestrin::testing {

struct StartedProgram {
  std::string program;
  std::vector<std::string> arguments;
  friend bool operator==(const StartedProgram&, const StartedProgram&) = default;
};

class RecordingDesktop : public app::Desktop {
 public:
  bool OpenFile(const std::string& path) override {
    opened_files.push_back(path);
    return opens;
  }
  bool OpenUrl(const std::string& url) override {
    opened_urls.push_back(url);
    return opens;
  }
  std::string FindProgram(const std::string& name) override {
    looked_up.push_back(name);
    auto found = installed.find(name);
    return found == installed.end() ? std::string() : found->second;
  }
  bool StartDetached(const std::string& program,
                     const std::vector<std::string>& arguments) override {
    started.push_back({program, arguments});
    return !refuses_to_start.contains(program);
  }
  std::vector<std::string> CurrentDesktops() override { return current; }

  // Answers.
  bool opens = true;
  std::map<std::string, std::string> installed;  // name -> full path
  std::set<std::string> refuses_to_start;        // full paths that fail to start
  std::vector<std::string> current;

  // Records.
  std::vector<std::string> opened_files;
  std::vector<std::string> opened_urls;
  std::vector<std::string> looked_up;
  std::vector<StartedProgram> started;
};

}  // namespace kestrin::testing
