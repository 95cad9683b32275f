#pragma once
// One running program per settings file: a lock file says whether a program runs, and
// a local server of the first program lets a second one ask it to come forward before
// the second one ends. Both names derive from the ini file's full name, so that two
// settings files (and two tests) never meet.
#include <QObject>
#include <memory>
#include <string>

class QLocalServer;
class QLockFile;

namespace qm {

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const std::string& iniFileName, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the first program: it then holds the lock and listens. False
    // when another one holds the lock; that one has been asked to come forward.
    bool Acquire();

    // The key of an ini file: "quarmelle-" and eight hexadecimal digits.
    static std::string KeyFor(const std::string& iniFileName);
    const std::string& Key() const { return key_; }
    std::string LockFileName() const;

signals:
    // A second program asked this one to come forward.
    void ActivateRequested();

private:
    std::string key_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace qm
