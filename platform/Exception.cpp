#include "platform/Exception.h"

#include "platform/Text.h"

namespace qm {

EAbortOperation::EAbortOperation() : Exception(_("Operation aborted.")) {}

bool IsAbortError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbortOperation&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace qm
