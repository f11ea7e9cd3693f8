// kestrin-office: the private office of Kestrin's unattended runs, kept
// running by a service manager (dist/kestrin-office.service).
//
// It prepares the office's profile as a run of the program does and then
// becomes the office's launcher, started as a run would start it (headless,
// the program's pipe and profile): runs attach to it instead of starting an
// office of their own, and the service manager sees the office end when it
// ends. KESTRIN_OFFICE_PIPE and KESTRIN_OFFICE_PROFILE name another pipe and
// profile folder, as they do for the program.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "automation/failure.h"
#include "automation/uno/uno_excel.h"

extern char** environ;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The current environment with `overrides` ("NAME=value") in place of
// entries of the same names.
std::vector<std::string> Environment(const std::vector<std::string>& overrides) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& o : overrides) replaced = replaced || o.starts_with(name);
    if (!replaced) out.push_back(entry);
  }
  out.insert(out.end(), overrides.begin(), overrides.end());
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

int main(int argc, char**) {
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: kestrin-office\n"
                 "Runs the office that Kestrin's runs attach to, until it ends.\n");
    return 2;
  }
  kestrin::automation::uno::UnoOptions options;
  options.pipe_name = Env("KESTRIN_OFFICE_PIPE");
  options.profile_dir = Env("KESTRIN_OFFICE_PROFILE");
  try {
    const auto launch = kestrin::automation::uno::PrepareOfficeLaunch(options, std::nullopt);
    std::vector<std::string> args = {launch.program};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<std::string> env = Environment(launch.env);
    std::vector<char*> argv = Pointers(args), envp = Pointers(env);
    execve(launch.program.c_str(), argv.data(), envp.data());
    std::fprintf(stderr, "kestrin-office: cannot start %s: %s\n", launch.program.c_str(),
                 std::strerror(errno));
  } catch (const kestrin::automation::AutomationError& e) {
    std::fprintf(stderr, "kestrin-office: %s\n", e.description().c_str());
  }
  return 1;
}
