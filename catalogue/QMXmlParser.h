#pragma once
// The emulator configuration file config.xml: per emulator the web pages where a game
// can be looked up, and the web sites that offer datafile updates.
//
// <quarmelleconfigfile>
//   <datafile referencename="mame" ...>
//     <webgamepage caption="..." url="..."/>
//   </datafile>
//   <webupdate>
//     <site sitename="..." url="..."/>
//   </webupdate>
// </quarmelleconfigfile>
//
// Element and attribute names match in any case. Values come out as UTF-8 bytes with
// every character reference decoded.
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace qm {

namespace qmxmlparser {
QM_DECLARE_EXCEPTION(EFileNotFound, Exception);
// The file is not well-formed XML; what was read before the fault is kept.
QM_DECLARE_EXCEPTION(EBadConfigFile, Exception);
}  // namespace qmxmlparser

struct TQmInfo {
    std::string Url;
    std::string Caption;
};

struct TQmWebUpdate {
    std::string SiteName;
    std::string Url;
};

// An owning list of items, in file order.
template <typename T>
class TQmList {
public:
    T& Add(std::string first, std::string second) {
        items_.push_back(T{std::move(first), std::move(second)});
        return items_.back();
    }
    const T& Items(size_t index) const { return items_.at(index); }
    size_t Count() const { return items_.size(); }
    void Clear() { items_.clear(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T> items_;
};

// Add(url, caption).
using TQmInfos = TQmList<TQmInfo>;
// Add(siteName, url).
using TQmWebUpdates = TQmList<TQmWebUpdate>;

class TQmXmlConfigParser {
public:
    // The web game pages of the block whose referencename matches EmulatorRefName.
    TQmInfos Infos;
    // The sites of every update block of the file, whatever the emulator.
    TQmWebUpdates WebUpdates;

    const std::string& EmulatorRefName() const { return emulatorRefName_; }
    // Clears Infos and parses again, with the name in lower case; every assignment
    // reads the file, also of an empty name (update sites only) or of the same name.
    // Raises qmxmlparser::EFileNotFound when the file does not exist, and
    // qmxmlparser::EBadConfigFile when it is not well-formed.
    void SetEmulatorRefName(const std::string& name);

    const std::string& ConfigXmlFileName() const { return configXmlFileName_; }
    // Clears Infos and empties EmulatorRefName; nothing is read.
    void SetConfigXmlFileName(const std::string& fileName);

    // Reads the file for the emulator refName (any case); an empty refName reads the
    // update sites only. Clears WebUpdates first.
    void Parse(const std::string& refName);

private:
    std::string emulatorRefName_;
    std::string configXmlFileName_;
};

}  // namespace qm
