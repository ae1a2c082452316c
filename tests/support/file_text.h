// Whole files as text, for tests on every platform.
#pragma once

#include <string>

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
