// The config.xml parser on arbitrary files: it reads them or refuses them with its own
// exceptions, and what it reads are whole values.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "catalogue/QMXmlParser.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string refName = in.ConsumeBool() ? "mame" : in.ConsumeRandomLengthString(12);
    const std::string text = in.ConsumeRemainingBytesAsString();
    static const std::string dir = qm::fuzz::FreshDir("xml");
    const std::string name = dir + "config.xml";
    qm::fuzz::WriteBytes(name, text);

    TQmXmlConfigParser parser;
    parser.SetConfigXmlFileName(name);
    try {
        parser.SetEmulatorRefName(refName);
    } catch (const qm::Exception&) {
        return 0;
    }
    for (const auto& info : parser.Infos) Check(info.Url.size() + info.Caption.size() <= 8 * text.size(), "a value longer than the file allows");
    try {
        parser.Parse("");
    } catch (const qm::Exception&) {
    }
    return 0;
}
