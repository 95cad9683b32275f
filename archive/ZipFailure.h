#pragma once
// Why the last call of this thread into the zip or unzip layer failed, where a result
// code alone would hide it: the file a system call failed on with the system's text, or
// the entry the layer cannot read and why. Each call of the layer starts with none; the
// archiver takes it on the thread that made the call and adds it to the message of the
// archive exception, after the result code's own text.
#include <string>

namespace qm {

void ClearZipFailure();
// The first cause of a call is kept: what follows it is its consequence.
void SetZipFailure(const std::string& file, const std::string& reason);
// "file: reason" of this thread's last call (empty when it named none), and clears it.
std::string TakeZipFailure();

}  // namespace qm
