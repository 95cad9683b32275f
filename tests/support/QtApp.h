#pragma once
namespace qm::test {
// Makes sure a QCoreApplication exists (event loops, sockets, timers) for tests below
// the user interface. Suites of windows create their QApplication themselves.
void EnsureQtApp();
}  // namespace qm::test
