#pragma once
// --check-config: the settings file and the data folder checked, touching
// nothing, and the report on standard output: the places, every problem
// found, notes, and the settings in force.

#include <string>

#include "app/command_line.h"
#include "host/settings_files.h"

namespace zv::app {

// Prints the report; the exit status: 0 without a problem, 1 with one.
int reportConfiguration(const std::string& program, const CommandLine& line, const SettingsFiles& files);

}  // namespace zv::app
