// Client processes and attaching threads to them. Ids are multiples of four
// after System's and are never reused.
#include "host/nt/processes.h"

#include <atomic>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/object_table.h"

namespace host {
namespace {

std::atomic<ProcessId> lastProcessId{SystemProcessId};

}  // namespace

ProcessId CurrentProcessId() {
    return nt::CurrentThread().processId;
}

size_t HandlesCreatedIn(ProcessId process) {
    return nt::HandlesCreatedInProcess(process);
}

AttachedProcess::AttachedProcess(ProcessId process) : previous_(CurrentProcessId()) {
    if (!nt::HasProcessHandleTable(process)) {
        BugCheck("attach to process " + std::to_string(process) + ", which does not exist");
    }
    nt::CurrentThread().processId = process;
}

AttachedProcess::~AttachedProcess() {
    nt::CurrentThread().processId = previous_;
}

ClientProcess::ClientProcess(const std::string& name) : id_(lastProcessId += 4) {
    nt::AddProcessHandleTable(id_, name);
}

ClientProcess::~ClientProcess() {
    nt::CloseProcessHandleTable(id_);
}

}  // namespace host
