#pragma once
// What the file commands' two source files share: the text of a failure, and whether it
// is a user's cancel.
#include <exception>
#include <string>

namespace qm {

std::string CommandErrorText(std::exception_ptr error);
bool IsAbortError(std::exception_ptr error);

}  // namespace qm
