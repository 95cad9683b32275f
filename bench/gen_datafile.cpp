// Writes a large datafile for the benchmarks, the same bytes for the same options.
//
//   gen_datafile [options] [OUTPUT]
//     --games N        games in all, parents and clones (default 45000)
//     --clones N       clones per parent (default 2)
//     --roms N         roms per game (default 7)
//     --bios N         bios sets in [RESOURCES] (default 20, three roms each)
//     --bios-users N   parents that take roms from a bios set (default 8000)
//     --shared N       roms that carry the CRC and size of a rom of another game (default 2000)
//     --nodump N       roms without a good dump, CRC "00000000" (default 500)
//     --baddump N      clone roms listed under the complement of the parent's CRC (default 500)
//     --clashes N      clone roms named like a parent rom with another CRC (default 100)
//     --seed N         seed of the generator (default 1)
//   What real catalogues hold besides (none of it by default; --realistic turns every
//   one on with the count in brackets):
//     --clone-clashes N  clones that list a rom name of another clone with another CRC (100)
//     --twins N          parents that list one of their contents under a second name (200)
//     --bios-shared N    parents with a rom of the CRC and size of a bios rom, unmerged (100)
//     --lost-merges N    clone roms whose merge name is a rom their parent lacks (100)
//     --upper N          parents (with their clones) whose rom names are upper case (500)
//     --merge-aliases N  parents whose first clone lists a rom of the parent's under
//                        another name (merge name given) that the second clone lists
//                        with a content of its own (40)
//     --devices N        pairs of device sets after the games: the second names the
//                        first in romof and takes its rom from it (51)
//     --big-families N   parents with 24 clones instead of --clones (games / 300): their one
//                        set holds every clone's own roms, and most clone roms are the
//                        parent's under the same name
//     --device-users N   parents that list one of 8 device roms as a rom of their own,
//                        and their clones merged from it (games / 15): one content
//                        listed by thousands of sets
//
// Without OUTPUT (or with "-") the datafile goes to standard output. Prints one line,
// lines=N games=N resources=N bytes=N, on standard output, or on standard error when
// the datafile goes there.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TRandom {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
};

struct TRomDef {
    std::string name;
    uint32_t crc;
    int64_t size;
    bool noDump = false;
};

std::string Hex(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

const char* const kWords[] = {"Space", "Dragon", "Super", "Galaxy", "Street", "Ninja",  "Turbo", "Mega",
                              "Power", "Fighter", "Racing", "Quest", "Star",  "Battle", "Cyber", "Knight"};
const char* const kMakers[] = {"Namco", "Capcom", "Konami", "Sega", "Taito", "Irem", "SNK", "Data East"};

class TWriter {
public:
    explicit TWriter(FILE* f) : f_(f) {}
    void Line(const std::string& s) {
        buffer_ += s;
        buffer_ += "\r\n";
        ++lines_;
        if (buffer_.size() > (1u << 20)) Flush();
    }
    void Flush() {
        std::fwrite(buffer_.data(), 1, buffer_.size(), f_);
        bytes_ += buffer_.size();
        buffer_.clear();
    }
    int64_t lines_ = 0;
    int64_t bytes_ = 0;

private:
    FILE* f_;
    std::string buffer_;
};

std::string RomLine(const std::string& parent, const std::string& parentDesc, const std::string& game,
                    const std::string& gameDesc, const std::string& rom, const std::string& crc, int64_t size,
                    const std::string& romOf, const std::string& merge) {
    const std::string s = "\xAC";
    return s + parent + s + parentDesc + s + game + s + gameDesc + s + rom + s + crc + s + std::to_string(size) + s +
           romOf + s + merge + s;
}

long Arg(int& i, int argc, char** argv) {
    if (i + 1 >= argc) {
        std::fprintf(stderr, "missing value for %s\n", argv[i]);
        std::exit(2);
    }
    return std::strtol(argv[++i], nullptr, 10);
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    long games = 45000, clones = 2, roms = 7, bios = 20, biosUsers = 8000, shared = 2000, nodump = 500,
         baddump = 500, clashes = 100, seed = 1;
    long cloneClashes = 0, twins = 0, biosShared = 0, lostMerges = 0, upper = 0, mergeAliases = 0, devices = 0;
    long bigFamilies = 0, deviceUsers = 0;
    constexpr long kDeviceRoms = 8;
    constexpr long kBigFamilyClones = 24;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--games") games = Arg(i, argc, argv);
        else if (a == "--clones") clones = Arg(i, argc, argv);
        else if (a == "--roms") roms = Arg(i, argc, argv);
        else if (a == "--bios") bios = Arg(i, argc, argv);
        else if (a == "--bios-users") biosUsers = Arg(i, argc, argv);
        else if (a == "--shared") shared = Arg(i, argc, argv);
        else if (a == "--nodump") nodump = Arg(i, argc, argv);
        else if (a == "--baddump") baddump = Arg(i, argc, argv);
        else if (a == "--clashes") clashes = Arg(i, argc, argv);
        else if (a == "--seed") seed = Arg(i, argc, argv);
        else if (a == "--clone-clashes") cloneClashes = Arg(i, argc, argv);
        else if (a == "--twins") twins = Arg(i, argc, argv);
        else if (a == "--bios-shared") biosShared = Arg(i, argc, argv);
        else if (a == "--lost-merges") lostMerges = Arg(i, argc, argv);
        else if (a == "--upper") upper = Arg(i, argc, argv);
        else if (a == "--merge-aliases") mergeAliases = Arg(i, argc, argv);
        else if (a == "--devices") devices = Arg(i, argc, argv);
        else if (a == "--big-families") bigFamilies = Arg(i, argc, argv);
        else if (a == "--device-users") deviceUsers = Arg(i, argc, argv);
        else if (a == "--realistic") {
            cloneClashes = 100;
            twins = 200;
            biosShared = 100;
            lostMerges = 100;
            upper = 500;
            mergeAliases = 40;
            devices = 51;
            bigFamilies = -1;  // one parent in 300 games, whatever --games says
            deviceUsers = -1;  // one in 15 games
        }
        else if ((a == "-" || (!a.empty() && a[0] != '-')) && !output) output = argv[i];
        else {
            std::fprintf(stderr, "usage: gen_datafile [--games N] [--clones N] [--roms N] [--bios N] [--bios-users N]"
                                 " [--shared N] [--nodump N] [--baddump N] [--clashes N] [--seed N] [--realistic]"
                                 " [--clone-clashes N] [--twins N] [--bios-shared N] [--lost-merges N] [--upper N]"
                                 " [--merge-aliases N] [--devices N] [--big-families N] [--device-users N]"
                                 " [OUTPUT]\n");
            return 2;
        }
    }
    if (games < 1 || clones < 0 || roms < 1 || bios < 0) {
        std::fprintf(stderr, "usage: gen_datafile [options] [OUTPUT] (see the source for the options)\n");
        return 2;
    }
    const bool toStdout = !output || std::strcmp(output, "-") == 0;
    if (toStdout) output = "standard output";
    FILE* f = toStdout ? stdout : std::fopen(output, "wb");
    if (!f) {
        std::perror(output);
        return 1;
    }
    TRandom rnd{static_cast<uint64_t>(seed)};
    auto size = [&]() { return int64_t(1024) << rnd.Below(11); };

    // Bios sets first, so that parents can name them.
    std::vector<std::string> biosNames;
    std::vector<std::vector<TRomDef>> biosRoms;
    for (long b = 0; b < bios; ++b) {
        biosNames.push_back("bios" + std::to_string(b));
        std::vector<TRomDef> set;
        for (int r = 0; r < 3; ++r)
            set.push_back({biosNames.back() + "_" + std::to_string(r) + ".rom", static_cast<uint32_t>(rnd.Next()), size()});
        biosRoms.push_back(set);
    }

    TWriter w(f);
    for (const char* l : {"[CREDITS]", "Author=gen_datafile", "Email=", "Web=", "Version=1", "Date=1/1/2026",
                          "Comment=generated for benchmarks", "[DAT]", "version=2.00", "plugin=arcade.dll",
                          "[EMULATOR]", "refname=bench", "version=1", "[GAMES]"})
        w.Line(l);

    if (bigFamilies < 0) bigFamilies = games / 300;
    if (deviceUsers < 0) deviceUsers = games / 15;
    // Drawn apart from the main sequence, so that every other line stays as it was.
    std::vector<TRomDef> deviceRoms;
    TRandom deviceRnd{static_cast<uint64_t>(seed) ^ 0xDE71CE5ull};
    for (long d = 0; d < kDeviceRoms; ++d)
        deviceRoms.push_back({"devrom" + std::to_string(d) + ".bin", static_cast<uint32_t>(deviceRnd.Next()),
                              int64_t(4096) << d});
    // Big families take the games of several ordinary ones: the file still holds --games.
    const long parents =
        bigFamilies + std::max(0L, games - bigFamilies * (kBigFamilyClones + 1) + clones) / (clones + 1);
    // Spread the special cases evenly over the file, the same way for every run.
    auto every = [&](long wanted, long total) { return wanted <= 0 ? total + 1 : std::max(1L, total / wanted); };
    const long sharedStep = every(shared, parents * roms), nodumpStep = every(nodump, parents * roms);
    const long badStep = every(baddump, parents * clones), clashStep = every(clashes, parents * clones);
    const long biosStep = every(biosUsers, parents);
    const long cloneClashStep = every(cloneClashes, parents), twinStep = every(twins, parents);
    const long biosSharedStep = every(biosShared, parents), lostMergeStep = every(lostMerges, parents * clones);
    const long upperStep = every(upper, parents);
    const long bigStep = every(bigFamilies, parents);
    const long deviceStep = every(deviceUsers, parents);
    const long aliasStep = clones >= 2 ? every(mergeAliases, parents) : parents + 1;
    std::vector<TRomDef> previousRoms;
    long romIndex = 0, cloneIndex = 0, gameCount = 0;
    int64_t resourceLines = 0;
    for (long p = 0; p < parents && gameCount < games; ++p) {
        const std::string pname = "game" + std::to_string(p);
        const std::string pdesc = std::string(kWords[rnd.Below(16)]) + " " + kWords[rnd.Below(16)] + " " +
                                  std::to_string(p) + " (" + kMakers[rnd.Below(8)] + ", " +
                                  std::to_string(1978 + rnd.Below(30)) + ")";
        const long b = (bios > 0 && p % biosStep == 0 && p / biosStep < biosUsers) ? static_cast<long>(rnd.Below(bios)) : -1;
        const bool upperNames = p % upperStep == upperStep - 1;
        const auto romName = [&](const std::string& name) { return upperNames ? Upper(name) : name; };
        std::vector<TRomDef> own;
        for (long r = 0; r < roms; ++r, ++romIndex) {
            TRomDef rom{romName(pname + "." + std::to_string(r) + "a"), static_cast<uint32_t>(rnd.Next()), size()};
            if (romIndex % sharedStep == sharedStep - 1 && !previousRoms.empty()) {
                const TRomDef& other = previousRoms[rnd.Below(previousRoms.size())];
                rom.crc = other.crc;
                rom.size = other.size;
            }
            rom.noDump = romIndex % nodumpStep == nodumpStep - 1;
            own.push_back(rom);
            w.Line(RomLine(pname, pdesc, pname, pdesc, rom.name, rom.noDump ? "00000000" : Hex(rom.crc), rom.size,
                           b >= 0 ? biosNames[b] : "", ""));
        }
        if (b >= 0)
            for (const auto& br : biosRoms[b])
                w.Line(RomLine(pname, pdesc, pname, pdesc, br.name, Hex(br.crc), br.size, biosNames[b], br.name));
        // One content under a second name of the same set.
        if (p % twinStep == twinStep - 1 && !own[0].noDump)
            w.Line(RomLine(pname, pdesc, pname, pdesc, romName(pname + ".twin"), Hex(own[0].crc), own[0].size,
                           b >= 0 ? biosNames[b] : "", ""));
        // A copy of a bios rom that the set holds itself.
        if (bios > 0 && b < 0 && p % biosSharedStep == biosSharedStep - 1) {
            const TRomDef& br = biosRoms[rnd.Below(bios)][0];
            w.Line(RomLine(pname, pdesc, pname, pdesc, romName(pname + ".bios"), Hex(br.crc), br.size, "", ""));
        }
        const TRomDef* device = p % deviceStep == deviceStep - 1 ? &deviceRoms[p % kDeviceRoms] : nullptr;
        if (device != nullptr)
            w.Line(RomLine(pname, pdesc, pname, pdesc, device->name, Hex(device->crc), device->size,
                           b >= 0 ? biosNames[b] : "", ""));
        const bool cloneClash = p % cloneClashStep == cloneClashStep - 1;
        // A content of the parent's that the first clone lists under a name of its own,
        // merged from the parent's name; the second clone lists that name with a rom of
        // its own. (Only the second is a rom of that name in the game's one set.)
        const TRomDef* aliased = nullptr;
        if (p % aliasStep == aliasStep - 1)
            for (const TRomDef& rom : own)
                if (!rom.noDump && aliased == nullptr) aliased = &rom;
        ++gameCount;
        const long familyClones = p % bigStep == bigStep - 1 ? kBigFamilyClones : clones;
        for (long c = 0; c < familyClones && gameCount < games; ++c, ++cloneIndex, ++gameCount) {
            const std::string cname = pname + "c" + std::to_string(c);
            const std::string cdesc = pdesc + " (clone " + std::to_string(c + 1) + ")";
            for (long r = 0; r < roms; ++r) {
                const TRomDef& pr = own[r];
                const std::string crc = pr.noDump ? "00000000" : Hex(pr.crc);
                if (pr.noDump) {
                    w.Line(RomLine(pname, pdesc, cname, cdesc, pr.name, crc, pr.size, pname, pr.name));
                } else if (r == 0 && cloneIndex % badStep == badStep - 1) {
                    w.Line(RomLine(pname, pdesc, cname, cdesc, pr.name, Hex(~pr.crc), pr.size, pname, ""));
                } else if (r == 1 && cloneIndex % clashStep == clashStep - 1) {
                    w.Line(RomLine(pname, pdesc, cname, cdesc, pr.name, Hex(pr.crc ^ 0x5A5A5A5Au), pr.size, pname, ""));
                } else if (r == 2 && cloneIndex % lostMergeStep == lostMergeStep - 1) {
                    // The parent's content under a name of its own, merged from a rom the
                    // parent does not list: the clone's own set must hold it.
                    w.Line(RomLine(pname, pdesc, cname, cdesc, romName(cname + ".2m"), crc, pr.size, pname,
                                   romName(pname + ".2z")));
                } else if (r % 2 == 0) {
                    w.Line(RomLine(pname, pdesc, cname, cdesc, pr.name, crc, pr.size, pname, pr.name));
                } else if (r == 3 && c > 0 && cloneClash) {
                    // The name of the first clone's own rom, with a content of this clone's.
                    w.Line(RomLine(pname, pdesc, cname, cdesc, romName(pname + "c0.3b"),
                                   Hex(static_cast<uint32_t>(rnd.Next())), size(), pname, ""));
                } else {
                    w.Line(RomLine(pname, pdesc, cname, cdesc, romName(cname + "." + std::to_string(r) + "b"),
                                   Hex(static_cast<uint32_t>(rnd.Next())), size(), pname, ""));
                }
            }
            if (device != nullptr)
                w.Line(RomLine(pname, pdesc, cname, cdesc, device->name, Hex(device->crc), device->size, pname,
                               device->name));
            if (aliased != nullptr && c == 0)
                w.Line(RomLine(pname, pdesc, cname, cdesc, romName(pname + ".al"), Hex(aliased->crc), aliased->size,
                               pname, aliased->name));
            if (aliased != nullptr && c == 1)
                w.Line(RomLine(pname, pdesc, cname, cdesc, romName(pname + ".al"),
                               Hex(static_cast<uint32_t>(rnd.Next())), size(), pname, ""));
        }
        previousRoms.swap(own);
    }
    // Device sets that take their rom from a sibling set, neither parent nor bios.
    for (long d = 0; d < devices; ++d, gameCount += 2) {
        const std::string us = "dev" + std::to_string(d) + "_us", de = "dev" + std::to_string(d) + "_de";
        const TRomDef rom{us + ".rom", static_cast<uint32_t>(rnd.Next()), size()};
        w.Line(RomLine(us, "Keyboard (US)", us, "Keyboard (US)", rom.name, Hex(rom.crc), rom.size, "", ""));
        w.Line(RomLine(de, "Keyboard (DE)", de, "Keyboard (DE)", de + ".rom", Hex(rom.crc), rom.size, us, rom.name));
    }
    w.Line("[RESOURCES]");
    for (long b = 0; b < bios; ++b)
        for (const auto& br : biosRoms[b]) {
            const std::string desc = "Bios set " + std::to_string(b);
            w.Line(RomLine(biosNames[b], desc, biosNames[b], desc, br.name, Hex(br.crc), br.size, "", ""));
            ++resourceLines;
        }
    w.Flush();
    if ((toStdout ? std::fflush(f) : std::fclose(f)) != 0 || (toStdout && std::ferror(f))) {
        std::perror(output);
        return 1;
    }
    std::fprintf(toStdout ? stderr : stdout, "lines=%lld games=%ld resources=%lld bytes=%lld\n",
                 static_cast<long long>(w.lines_), gameCount, static_cast<long long>(resourceLines),
                 static_cast<long long>(w.bytes_));
    return 0;
}
