// The host tool's .reg reader with any file content. A malformed file is
// reported as one RegFileError naming the file, and changes nothing; a file
// that loads saves to a file that loads and saves back byte for byte.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_stack.h"
#include "host/nt/kernel_control.h"
#include "host/nt/reg_file.h"
#include "host/nt/registry_store.h"

namespace {

// Three scratch files of this process, memory-backed so that the saver's
// flush to disk costs nothing, removed at exit.
std::string scratch[3];

void RemoveScratch() {
    for (const std::string& path : scratch) {
        std::remove(path.c_str());
    }
}

const std::string& ScratchPath(int which) {
    if (scratch[0].empty()) {
        const std::string base = "/dev/shm/diskcam-regfile-fuzzer-" + std::to_string(getpid());
        for (int i = 0; i < 3; ++i) {
            scratch[i] = base + "-" + std::to_string(i) + ".reg";
        }
        std::atexit(RemoveScratch);
    }
    return scratch[which];
}

void WriteFile(const std::string& path, const uint8_t* bytes, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good(), "the scratch file cannot be written");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The whole machine hive as the saver writes it.
std::string Snapshot(const std::string& path) {
    host::SaveRegFile(path, "HKEY_LOCAL_MACHINE");
    return ReadFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string& input = ScratchPath(0);
    const std::string& saved = ScratchPath(1);
    const std::string& resaved = ScratchPath(2);
    host::ResetKernel();
    const std::string before = Snapshot(saved);
    WriteFile(input, bytes, size);
    try {
        FUZZ_CHECK(host::LoadRegFile(input), "an existing file reported missing");
    } catch (const host::RegFileError& error) {
        const std::string message = error.what();
        FUZZ_CHECK(message.rfind(input + ":", 0) == 0, "an error that does not name the file");
        FUZZ_CHECK(message.find('\n') == std::string::npos, "an error of more than one line");
        FUZZ_CHECK(Snapshot(saved) == before, "a malformed file changed the registry");
        FUZZ_CHECK(ReadFile(input).size() == size, "a malformed file was changed on disk");
        return 0;
    }
    host::SaveRegFile(saved, "HKEY_LOCAL_MACHINE");
    host::ResetKernel();
    FUZZ_CHECK(host::LoadRegFile(saved), "the saved file is missing");
    host::SaveRegFile(resaved, "HKEY_LOCAL_MACHINE");
    FUZZ_CHECK(ReadFile(saved) == ReadFile(resaved), "a saved file does not save back the same");
    host::ResetKernel();
    return 0;
}
