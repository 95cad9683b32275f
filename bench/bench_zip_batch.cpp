// The cost of many changes to one archive, through the archive manager: N entries
// copied into an empty archive one call at a time (one rewrite each) and as one batch
// (one rewrite), and the N entries of an archive signed by a plug-in that reads each
// entry's bytes, in one pass (the calculator) and one extraction at a time.
//
//   bench_zip_batch [--entries N] DIR
//
// DIR receives the archives (deleted again) and a copy of the CRC plug-in under another
// name than the default one, so that the calculator reads the entries. Prints one line:
//   entries=N copy_one_by_one_ms=N copy_batch_ms=N sign_one_by_one_ms=N sign_one_pass_ms=N
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archivemanager.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string EntryName(int i) { return "set" + std::to_string(i / 8) + "/rom" + std::to_string(i) + ".bin"; }

// Deflated entries of a few hundred bytes each, every one distinct.
bool Generate(const std::string& name, int entries, std::vector<std::string>& contents) {
    int error = 0;
    zip_t* za = zip_open(name.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za) return false;
    contents.clear();
    contents.reserve(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        std::string data;
        for (int k = 0; k < 24; ++k) data += "rom " + std::to_string(i) + " block " + std::to_string(k * i) + ";";
        contents.push_back(std::move(data));
    }
    for (int i = 0; i < entries; ++i) {
        const std::string& data = contents[static_cast<size_t>(i)];
        zip_source_t* src = zip_source_buffer(za, data.data(), data.size(), 0);
        if (zip_file_add(za, EntryName(i).c_str(), src, 0) < 0) {
            zip_source_free(src);
            zip_discard(za);
            return false;
        }
    }
    return zip_close(za) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int entries = 4000;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--entries") == 0 && i + 1 < argc) entries = std::atoi(argv[++i]);
        else dir = argv[i];
    }
    if (dir.empty() || entries <= 0) {
        std::fprintf(stderr, "usage: bench_zip_batch [--entries N] DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    fs::create_directories(dir + "/work");
    const std::string src = dir + "/src.zip", one = dir + "/one.zip", batch = dir + "/batch.zip";
    std::vector<std::string> contents;
    if (!Generate(src, entries, contents)) {
        std::fprintf(stderr, "cannot write %s\n", src.c_str());
        return 1;
    }
    fs::remove(one);
    fs::remove(batch);

    qm::TArchiveManager manager;
    manager.SetTempDir(dir + "/work");
    manager.SetCompressionLevel(6);
    double copyOneMs = 0, copyBatchMs = 0, signOneMs = 0, signPassMs = 0;
    try {
        auto start = Clock::now();
        for (int i = 0; i < entries; ++i)
            manager.CopyFileBetweenArchives(src, EntryName(i), one, "c" + std::to_string(i) + ".bin");
        copyOneMs = MsSince(start);

        qm::TArchiveChanges changes;
        for (int i = 0; i < entries; ++i) changes.push_back({src, EntryName(i), "c" + std::to_string(i) + ".bin"});
        start = Clock::now();
        manager.CommitChanges(batch, changes);
        copyBatchMs = MsSince(start);

        qm::TArchiveItems a, b;
        manager.GetFileList(one, a);
        manager.GetFileList(batch, b);
        if (a.size() != static_cast<size_t>(entries) || b.size() != a.size()) {
            std::fprintf(stderr, "copies: %zu and %zu entries\n", a.size(), b.size());
            return 1;
        }

        // The shipped CRC plug-in under another name: every entry is read.
        fs::copy_file(std::string(QM_PLUGIN_DIR) + "arcade.so", dir + "/crc32.so", fs::copy_options::overwrite_existing);
        qm::TCrcPlugIn plugIn;
        plugIn.SetPath(dir);
        plugIn.SetFileName("crc32.dll");
        qm::TSignatureCalculator calc;
        calc.SetArchiveManager(&manager);
        calc.SetCrcPlugIn(&plugIn);
        calc.SetTempDir(dir + "/work");

        // One extraction per entry, as the calculator read them before.
        qm::TArchiveItems items;
        manager.GetFileList(src, items);
        start = Clock::now();
        for (const qm::TArchiveItem& item : items) {
            manager.ExtractFile(src, item.GetFullName(), dir + "/work", false);
            const std::string file = dir + "/work/" + item.Name;
            if (plugIn.GetSignature(file, item.Crc.c_str()).Signature.empty()) return 1;
            fs::remove(file);
        }
        signOneMs = MsSince(start);

        start = Clock::now();
        calc.Calculate(src);
        signPassMs = MsSince(start);
        if (calc.GetCount() != entries || !calc.GetItem(entries - 1).ErrorText.empty()) {
            std::fprintf(stderr, "signing: %d items\n", calc.GetCount());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    for (const std::string& name : {src, one, batch, dir + "/crc32.so"}) fs::remove(name);
    std::printf("entries=%d copy_one_by_one_ms=%.0f copy_batch_ms=%.0f sign_one_by_one_ms=%.0f sign_one_pass_ms=%.0f\n",
                entries, copyOneMs, copyBatchMs, signOneMs, signPassMs);
    return 0;
}
