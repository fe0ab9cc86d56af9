// Checks of what the converter writes by programs that share no code with it:
// python3-olefile (strict) with gsf for compound files, node for scripts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tovrani::test {

// Reads every stream of a compound file with olefile (strict) and gsf. The
// result holds each stream by name; a defect either reader reports, or any
// disagreement between them, fails the assertion.
::testing::AssertionResult ReadCompoundFile(const std::string& path,
                                            std::map<std::string, std::vector<uint8_t>>& streams);

// One stream of a compound file another program saved, read by olefile as
// leniently as it reads by default (the authoring tool's own documents carry
// header values the strict reading refuses). Empty when it does not read.
std::vector<uint8_t> ReadSavedStream(const std::string& path, const std::string& stream);

// `node --check` on a script file (or on the text given).
::testing::AssertionResult IsValidJavaScriptFile(const std::string& path);
::testing::AssertionResult IsValidJavaScript(const std::string& text);

// Runs a shell command, capturing stdout and stderr together; returns the
// exit status (-1 when it could not run).
int RunCommand(const std::string& command, std::string& output);

// Quotes a string for the POSIX shell.
std::string ShellQuote(const std::string& s);

}  // namespace tovrani::test
