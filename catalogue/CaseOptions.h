#pragma once
// The case rule for file names and rom names. The values are stored in the settings in
// this order.
#include <cstdint>

namespace qm {

enum TCaseOptions : uint8_t {
    coDatabase = 0,    // the name as the datafile spells it
    coUppercase = 1,
    coLowercase = 2,
    coCapitalize = 3,  // lower case, then a capital after each blank, "(" and "["
    coDontCare = 4,    // names stay as they are
};

}  // namespace qm
