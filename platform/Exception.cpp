#include "platform/Exception.h"

#include "platform/Text.h"

namespace qm {

EAbortOperation::EAbortOperation() : Exception(_("Operation aborted.")) {}

}  // namespace qm
