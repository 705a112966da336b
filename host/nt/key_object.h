// The object behind a registry key handle. Keys are never deleted while the
// kernel runs, so the node pointer stays valid for the handle's life.
#pragma once

#include <string>

#include "host/nt/object_table.h"
#include "host/nt/registry_store.h"

namespace host::nt {

class KeyObject : public KernelObject {
public:
    KeyObject(RegistryKey* key, std::string path)
        : KernelObject(ObjectKind::Key), key_(key), path_(std::move(path)) {}
    std::string Describe() const override { return path_; }
    RegistryKey* Key() const { return key_; }
    const std::string& Path() const { return path_; }

private:
    RegistryKey* key_;
    std::string path_;  // for leak reports
};

// A new kernel handle to the key at `path` (either notation); the key must
// exist.
NTSTATUS OpenKeyByPath(const std::string& path, ACCESS_MASK access, HANDLE* handle);

}  // namespace host::nt
