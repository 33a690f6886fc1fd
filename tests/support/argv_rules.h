#pragma once
// The platform's rules for splitting a command line into arguments, as CommandLineToArgvW
// applies them, written out for the tests of builds that have no such function (native tests
// and fuzzing). The program splits with the system function itself; a Windows-side test holds
// the two to the same answers.

#include <string>
#include <vector>

// Splits `line` like CommandLineToArgvW: the first argument follows the program-name rule (it
// ends at the next quote when it starts with one, otherwise at the next blank); later ones
// honour quotes, backslashes before quotes and doubled quotes.
std::vector<std::string> SplitArgumentsLikeWindows(const std::string& line);
