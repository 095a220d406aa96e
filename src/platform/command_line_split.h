// Windows command lines as portable code: splitting one into arguments by the rules a Windows
// program's C runtime applies to its own command line, and building one from arguments so that the
// program gets them back unchanged.
//
// The rules for argument 0 (the program): blanks before it are skipped; a double quote toggles
// quoting and is dropped; backslashes are plain characters; it ends at a blank or tab outside quotes.
// The rules for every further argument: arguments are separated by blanks and tabs outside quotes;
// 2n backslashes before a double quote give n backslashes and the quote toggles quoting; 2n+1
// backslashes before a double quote give n backslashes and a literal quote; backslashes before any
// other character are literal; inside quotes, two double quotes give one literal quote and quoting
// goes on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {

// The arguments of commandLine, argument 0 first. An empty or blank line gives no arguments.
std::vector<std::string> SplitWindowsCommandLine(std::string_view commandLine);

// One argument (not argument 0) written so that SplitWindowsCommandLine reads it back unchanged:
// as it is when it needs no quotes, else in double quotes with backslashes and quotes escaped.
std::string QuoteWindowsArgument(std::string_view argument);

// A whole command line for args (argument 0 first, written in double quotes; a double quote inside
// argument 0 cannot be written and is dropped).
std::string JoinWindowsCommandLine(const std::vector<std::string>& args);

}  // namespace kestrune::platform
