#pragma once
// zelvora-admin passes Qt's own command-line options (-platform offscreen,
// -style Fusion, -display :1 ...) on to QApplication, as it did before it had
// options of its own; anything else that is not one of its options is refused.

#include <cstddef>
#include <string>
#include <vector>

namespace zv::app {

// How many arguments from args[index] on form one of Qt's options (the option
// and, for those that take one, its value); 0 when args[index] is none.
std::size_t qtOptionLength(const std::vector<std::string>& args, std::size_t index);

// The argc and argv that QApplication gets: the program's name and the
// arguments passed on. QApplication keeps pointers into them, so this object
// must outlive it.
class ToolkitArguments {
public:
    ToolkitArguments(const char* program, const std::vector<std::string>& passedOn);
    ToolkitArguments(const ToolkitArguments&) = delete;
    ToolkitArguments& operator=(const ToolkitArguments&) = delete;

    int& argc() { return argc_; }
    char** argv() { return argv_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> argv_;
    int argc_ = 0;
};

}  // namespace zv::app
