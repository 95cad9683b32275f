// A shared object that is no signature plug-in at all.
#include "SignaturePlugIn.h"

QM_PLUGIN_EXPORT int qm_NotAPlugIn() { return 42; }
