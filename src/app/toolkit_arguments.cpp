#include "app/toolkit_arguments.h"

#include <string_view>

namespace zv::app {

namespace {

struct QtOption {
    std::string_view name;  // without its dash
    bool takesValue;        // "-name value" or "-name=value"
};

// The options QApplication and its platform plugins read from the command line.
constexpr QtOption kQtOptions[] = {
    {"platform", true},      {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},        {"qwindowgeometry", true},    {"qwindowicon", true},
    {"qwindowtitle", true},  {"session", true},            {"display", true},
    {"geometry", true},      {"style", true},              {"stylesheet", true},
    {"qmljsdebugger", true}, {"reverse", false},           {"widgetcount", false},
    {"nograb", false},       {"dograb", false},
};

}  // namespace

std::size_t qtOptionLength(const std::vector<std::string>& args, std::size_t index) {
    std::string_view arg = args[index];
    // Qt takes "-name" and "--name" alike.
    if (arg.rfind("--", 0) == 0) {
        arg.remove_prefix(2);
    } else if (arg.rfind("-", 0) == 0) {
        arg.remove_prefix(1);
    } else {
        return 0;
    }
    const auto equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    for (const QtOption& option : kQtOptions) {
        if (option.name != name) continue;
        if (equals != std::string_view::npos) return option.takesValue ? 1 : 0;
        if (!option.takesValue) return 1;
        // A value that is missing is Qt's to report, as it always was.
        return index + 1 < args.size() ? 2 : 1;
    }
    return 0;
}

ToolkitArguments::ToolkitArguments(const char* program, const std::vector<std::string>& passedOn)
    : texts_{program ? program : "zelvora-admin"} {
    texts_.insert(texts_.end(), passedOn.begin(), passedOn.end());
    for (std::string& text : texts_) argv_.push_back(text.data());
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(texts_.size());
}

}  // namespace zv::app
