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

}  // namespace zv::app
