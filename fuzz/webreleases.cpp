// The release-list parser on arbitrary bytes: every record it keeps is valid, and the
// local file name made from a release's address is a bare, usable name.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "catalogue/webreleases.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string site = in.ConsumeRandomLengthString(64);
    const std::string body = in.ConsumeRemainingBytesAsString();

    const auto lines = TWebReleases::SplitLines(body);
    size_t bytes = 0;
    for (const auto& line : lines) {
        Check(line.find_first_of("\r\n") == std::string::npos, "a line holds a line break");
        bytes += line.size();
    }
    Check(bytes <= body.size(), "lines hold more bytes than the text");

    TWebRecordList list;
    TWebReleases::ParseReleaseList(site, lines, list);
    for (size_t i = 0; i < list.Count(); ++i) {
        const TWebRecord& r = list.GetItem(i);
        Check(r.IsValid(), "an invalid record is kept");
        Check(r.RequestUrl.find("://") != std::string::npos, "a request address without a scheme");
        Check(r.SiteUrl.find("://") != std::string::npos, "a site address without a scheme");
        for (int f = 1; f <= 8; ++f)
            Check(r.Field(f).find(';') == std::string::npos, "a field holds the separator");
        for (const std::string* url : {&r.Url, &r.RequestUrl, &r.RawField9}) {
            const std::string name = TWebReleases::LocalFileName(*url);
            Check(name.find_first_of("/\\") == std::string::npos, "a local file name with a folder: " + Printable(name));
            Check(name != "." && name != "..", "a local file name that names a folder");
        }
    }
    const std::string name = TWebReleases::LocalFileName(site);
    Check(name.find('/') == std::string::npos && name != "." && name != "..", "unsafe local file name " + Printable(name));
    return 0;
}
