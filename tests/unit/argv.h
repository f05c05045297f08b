// Builds the argument vector that the platform hands to the program: element 0
// is the program path, which the option scan never looks at.
#ifndef WYK_TESTS_UNIT_ARGV_H
#define WYK_TESTS_UNIT_ARGV_H

#include <initializer_list>
#include <string>
#include <vector>

class Argv {
 public:
  Argv(std::initializer_list<std::string> args) : strings_(1, "C:\\dl\\setup.exe") {
    strings_.insert(strings_.end(), args.begin(), args.end());
    for (std::string& s : strings_) pointers_.push_back(&s[0]);
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(strings_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

#endif
