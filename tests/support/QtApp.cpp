#include "support/QtApp.h"

#include <QCoreApplication>

namespace qm::test {

void EnsureQtApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "quarmelle-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

}  // namespace qm::test
