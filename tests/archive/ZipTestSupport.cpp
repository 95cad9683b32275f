#include "archive/ZipTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>

#include "support/TestSupport.h"

namespace qm::test {

namespace {

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

std::string Python(const std::string& script, const std::string& archive) {
    return RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(archive));
}

}  // namespace

std::string RawZip(const std::vector<TRawEntry>& entries, const std::string& comment) {
    std::string out;
    std::string central;
    for (const TRawEntry& e : entries) {
        const auto crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const auto size = static_cast<uint32_t>(e.data.size());
        const auto offset = static_cast<uint32_t>(out.size());
        const unsigned flags = e.descriptor ? 8u : 0u;
        const unsigned dosTime = 0x6000, dosDate = 0x5a21;
        Put32(out, 0x04034b50);
        Put16(out, 10);
        Put16(out, flags);
        Put16(out, 0);
        Put16(out, dosTime);
        Put16(out, dosDate);
        Put32(out, e.descriptor ? 0 : crc);
        Put32(out, e.descriptor ? 0 : size);
        Put32(out, e.descriptor ? 0 : size);
        Put16(out, static_cast<unsigned>(e.name.size()));
        Put16(out, 0);
        out += e.name;
        out += e.data;
        if (e.descriptor) {
            if (e.descriptorSignature) Put32(out, 0x08074b50);
            Put32(out, crc);
            Put32(out, size);
            Put32(out, size);
        }
        Put32(central, 0x02014b50);
        Put16(central, 0x031e);
        Put16(central, 10);
        Put16(central, flags);
        Put16(central, 0);
        Put16(central, dosTime);
        Put16(central, dosDate);
        Put32(central, crc);
        Put32(central, size);
        Put32(central, size);
        Put16(central, static_cast<unsigned>(e.name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0100644u << 16);
        Put32(central, offset);
        central += e.name;
    }
    const auto centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(entries.size()));
    Put16(out, static_cast<unsigned>(entries.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, static_cast<unsigned>(comment.size()));
    out += comment;
    return out;
}

uint32_t PythonCrc(const std::string& path) {
    const std::string out = Python(
        "import sys, zlib; print(zlib.crc32(open(sys.argv[1], 'rb').read()) & 0xffffffff)", path);
    return static_cast<uint32_t>(std::stoul(out));
}

std::string PythonListing(const std::string& archive) {
    return Python(
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "    print(i.filename, i.file_size, '%08x' % i.CRC)\n",
        archive);
}

std::string PythonMethods(const std::string& archive) {
    return Python(
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.compress_type)\n",
        archive);
}

std::string PythonTimes(const std::string& archive) {
    return Python(
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename, i.date_time)\n",
        archive);
}

std::string PythonComment(const std::string& archive) {
    return Python(
        "import sys, zipfile\n"
        "sys.stdout.write(zipfile.ZipFile(sys.argv[1]).comment.decode('latin-1'))\n",
        archive);
}

std::string UnzipVerboseListing(const std::string& archive) {
    const std::string script =
        "/^Central directory entry #/{want=1; next}"
        " want && /^  [^ ]/ && !/There are an extra/{name=$0; sub(/^  /,\"\",name); want=0}"
        " /32-bit CRC value/{crc=$NF} /uncompressed size:/{print name, $3, crc}";
    return RunCommand("unzip -Z -v " + ShellQuote(archive) + " | awk " + ShellQuote(script));
}

int UnzipTest(const std::string& archive) {
    int code = -1;
    RunCommand("unzip -tqq " + ShellQuote(archive) + " >/dev/null 2>&1", &code);
    return code;
}

std::string UnzipNames(const std::string& archive) {
    return RunCommand("unzip -Z1 " + ShellQuote(archive) + " 2>/dev/null");
}

int RunIn(const std::string& folder, const std::string& command) {
    int code = -1;
    RunCommand("cd " + ShellQuote(folder) + " && " + command + " >/dev/null 2>&1", &code);
    return code;
}

std::string Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(e.path(), folder).string() +
                        (e.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += n + "\n";
    return out;
}

}  // namespace qm::test
