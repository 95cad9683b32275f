#include "filesdb/SignatureCalculatorStandIn.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <memory>

#include "archive/stringsTools.h"

namespace qm {

namespace {

struct TZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using TZip = std::unique_ptr<zip_t, TZipCloser>;

TZip Open(const std::string& archiveName) {
    if (::access(archiveName.c_str(), F_OK) != 0) throw archive::EFileNotFound("File Not Found.", archiveName);
    int err = 0;
    zip_t* z = zip_open(archiveName.c_str(), ZIP_RDONLY, &err);
    if (!z) throw archive::EPK_ERR("Errors in zipfile", archiveName);
    return TZip(z);
}

}  // namespace

bool TArchiveManager::IsArchive(const std::string& fileName) const { return EndsText(".zip", fileName); }

void TArchiveManager::GetFileList(const std::string& archiveName, TArchiveItems& items) {
    TZip z = Open(archiveName);
    const zip_int64_t n = zip_get_num_entries(z.get(), 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        if (zip_stat_index(z.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0)
            throw archive::EPK_ERR("Errors in zipfile", archiveName);
        items.push_back(TArchiveItem::FromEntry(st.name, static_cast<int64_t>(st.size), st.crc));
    }
}

void TArchiveManager::ExtractFile(const std::string& archiveName, const std::string& fileName,
                                  const std::string& destDir, bool) {
    TZip z = Open(archiveName);
    const zip_int64_t index = zip_name_locate(z.get(), fileName.c_str(), 0);
    if (index < 0) throw archive::EPK_FIND("File Not Found.", archiveName, fileName);
    zip_file_t* f = zip_fopen_index(z.get(), static_cast<zip_uint64_t>(index), 0);
    if (!f) throw archive::EPK_ERR("Errors in zipfile", archiveName, fileName);
    const std::string target = destDir + ExtractFileNameAnySep(fileName);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        zip_fclose(f);
        throw archive::EZE_CREAT("Could not create output file", archiveName, fileName);
    }
    char buffer[1 << 16];
    zip_int64_t got;
    bool ok = true;
    while ((got = zip_fread(f, buffer, sizeof buffer)) > 0)
        if (::write(fd, buffer, static_cast<size_t>(got)) != got) ok = false;
    if (got < 0) ok = false;
    zip_fclose(f);
    ::close(fd);
    if (!ok) {
        ::unlink(target.c_str());
        throw archive::EPK_ERR("Errors in zipfile", archiveName, fileName);
    }
}

}  // namespace qm
