// A stand-in for datutil and for an emulator's game-list command, for the tests of the
// datutil wrapper only. It converts nothing: it records how it was called and acts out
// the outcome the test asks for.
//
// Every call appends one record to $QM_FAKE_LOG: the working folder, then each
// argument, each ended by a NUL byte, and the record ended by an empty field.
//
// Called with -listxml or -listinfo it plays the emulator, with the outcome
// $QM_FAKE_EMU_MODE: ok (prints $QM_FAKE_LIST, or a small list, to standard output),
// none (prints nothing, exit 0), exit5 (prints nothing, exit 5), crash, sleep.
// Otherwise it plays datutil, with the outcome $QM_FAKE_MODE: ok (writes the -o target
// from $QM_FAKE_CANNED, or a small text, and copies its last argument's contents to
// $QM_FAKE_INPUT when set), none (writes nothing, exit 0), empty (an empty target),
// exit3 (a target, then exit 3), crash (a target, then an abort), sleep, log (a long
// datutil.log ending in an error line, exit 2), garbage (a target that is no datafile,
// exit 0). As the real tool does, it leaves datutil.log in its working
// folder.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Env(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

void Record(int argc, char** argv) {
    const std::string log = Env("QM_FAKE_LOG");
    if (log.empty()) return;
    char cwd[4096] = {};
    if (!::getcwd(cwd, sizeof cwd)) std::strcpy(cwd, "?");
    std::ofstream out(log, std::ios::binary | std::ios::app);
    out << cwd << '\0';
    for (int i = 1; i < argc; ++i) out << argv[i] << '\0';
    out << '\0';
}

[[noreturn]] void Hang() {
    for (;;) ::sleep(60);
}

int Emulator(const std::string& mode) {
    if (mode == "none") return 0;
    if (mode == "exit5") return 5;
    if (mode == "crash") std::abort();
    if (mode == "sleep") Hang();
    const std::string list = Env("QM_FAKE_LIST");
    std::cout << (list.empty() ? "<?xml version=\"1.0\"?>\n<mame build=\"fake\">\n</mame>\n" : ReadAll(list));
    return 0;
}

int Datutil(const std::string& mode, const std::vector<std::string>& args) {
    WriteAll("datutil.log", "fake datutil ran\n");
    if (mode == "none") return 0;
    if (mode == "sleep") Hang();
    if (mode == "log") {
        std::string text = "fake datutil ran\n";
        for (int i = 0; i < 300; ++i) text += "progress line " + std::to_string(i) + "\n";
        WriteAll("datutil.log", text + "Error: the input is not a game list\n");
        std::cerr << "see datutil.log\n";
        return 2;
    }
    std::string target;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-o") target = args[i + 1];
    if (target.empty()) {
        std::cerr << "no -o given\n";
        return 1;
    }
    if (mode == "empty") {
        WriteAll(target, "");
        return 0;
    }
    if (mode == "garbage") {
        WriteAll(target, "Segmentation in the listing\nnothing of a datafile here\n");
        return 0;
    }
    const std::string canned = Env("QM_FAKE_CANNED");
    WriteAll(target, canned.empty() ? std::string("[DAT]\nversion=2.00\n[GAMES]\n") : ReadAll(canned));
    if (mode == "exit3") return 3;
    if (mode == "crash") std::abort();
    const std::string input = Env("QM_FAKE_INPUT");
    if (!input.empty() && !args.empty()) WriteAll(input, ReadAll(args.back()));
    // Like the real tool, it talks and logs while and after it writes.
    std::cout << "converted\n";
    std::ofstream("datutil.log", std::ios::app) << "done\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Record(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& arg : args)
        if (arg == "-listxml" || arg == "-listinfo") return Emulator(Env("QM_FAKE_EMU_MODE", "ok"));
    return Datutil(Env("QM_FAKE_MODE", "ok"), args);
}
