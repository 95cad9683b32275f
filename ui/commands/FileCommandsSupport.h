#pragma once
// What the file commands' two source files share: the text of a failure.
#include <exception>
#include <string>

#include "platform/Exception.h"

namespace qm {

std::string CommandErrorText(std::exception_ptr error);

}  // namespace qm
